#include "shell/Ide.h"

#include "platform/Component_registry.h"
#include "shell/Frames_form.h"
#include "shell/View_frame.h"

#include <algorithm>

int g_ViewCounter = 0;
TIDE g_IDE;

const std::array<TViewKind, TIDE::ViewKindCount>& TIDE::ViewKinds()
{
    static const std::array<TViewKind, ViewKindCount> kinds = {{
        {"TMemoryF", "MemoryView", "Memory View #"},
        {"TZ80F", "Z80View", "Z80 View #"},
        {"TDasmF", "DasmView", "Dasm View #"},
        {"TStackF", "StackView", "Stack View #"},
        {"TScreenF", "ScreenView", "Screen View #"},
        {"TTapeRecorderF", "TapeRecorder", "Tape Recorder #"},
        {"TOscilloscopeF", "Oscilloscope", "Oscilloscope #"},
        {"TProjectManagerF", "ProjectManager", "Project Manager #"},
        {"TKeyboardF", "Keyboard", "Keyboard #"},
        {"TBetaDiskF", "BetaDisk", "Beta Disk Interface #"},
        {"TTapeF", "Tape", "Tape #"},
        {"TBreakpointsF", "Breakpoints", "Breakpoints #"},
        {"TEditorF", "Editor", "Editor #"},
        {"TDiskF", "Disk", "Disk #"},
        {"TPagesF", "Pages", "Pages #"},
    }};
    return kinds;
}

TIDE::TIDE() = default;
TIDE::~TIDE() = default;

void TIDE::Init(QWidget* owner, TComputer* computer)
{
    Owner = owner;
    Computer = computer;
}

void TIDE::RegisterView(int kind, TViewFactory factory)
{
    if (kind >= 0 && kind < ViewKindCount)
        Factories[std::size_t(kind)] = std::move(factory);
}

bool TIDE::IsViewRegistered(int kind) const
{
    return kind >= 0 && kind < ViewKindCount && bool(Factories[std::size_t(kind)]);
}

TViewF* TIDE::ShowView(int kind)
{
    ++g_ViewCounter;
    auto* window = new TFramesF(Owner);
    if (!IsViewRegistered(kind)) {
        delete window;
        return nullptr;
    }
    TViewF* view = nullptr;
    try {
        view = Factories[std::size_t(kind)](Owner, Computer, *this);
    } catch (...) {
        delete window;
        throw;
    }
    if (!view) {
        delete window;
        return nullptr;
    }
    const TViewKind& names = ViewKinds()[std::size_t(kind)];
    const QString number = QString::number(g_ViewCounter);
    view->setObjectName(QString::fromLatin1(names.NamePrefix) + number);
    view->Caption = QString::fromLatin1(names.CaptionPrefix) + number;
    window->AddView(view);
    window->show();
    window->ActivateNow();
    return view;
}

QString TIDE::ViewClassName(int kind)
{
    if (kind < 0 || kind >= ViewKindCount)
        return {};
    return QString::fromLatin1(ViewKinds()[std::size_t(kind)].ClassName);
}

std::vector<TFramesF*> TIDE::ToolWindows() const
{
    std::vector<TFramesF*> windows;
    if (!Owner)
        return windows;
    for (QObject* component : TComponentRegistry::Of(Owner).OfClass("TFramesF"))
        windows.push_back(static_cast<TFramesF*>(component));
    return windows;
}

TViewF* TIDE::FindView(int kind, bool create)
{
    const QString className = ViewClassName(kind);
    if (!className.isEmpty())
        for (TFramesF* window : ToolWindows())
            if (TViewF* view = window->FindView(className))
                return view;
    return create ? ShowView(kind) : nullptr;
}

void TIDE::UpdateViews()
{
    // A view's refresh may open or close windows: walk a snapshot, and skip
    // what went away meanwhile.
    std::vector<QPointer<TFramesF>> windows;
    for (TFramesF* window : ToolWindows())
        windows.emplace_back(window);
    for (const auto& window : windows)
        if (window && !window->IsReleased())
            window->UpdateViews();
}

TViewF* TIDE::FindActiveView(const QString& className)
{
    for (TFramesF* window : ToolWindows()) {
        if (!window->Active)
            continue;
        TViewF* view = window->GetActiveView();
        if (!view)
            continue;
        if (className.isEmpty() || view->ClassName() == className)
            return view;
    }
    return nullptr;
}

void TIDE::AppActivate()
{
    if (TViewF* view = FindActiveView(QString()))
        view->Activate();
}

void TIDE::AppDeactivate()
{
    if (TViewF* view = FindActiveView(QString()))
        view->Deactivate();
}

void TIDE::CloseAll()
{
    if (!Owner)
        return;
    std::vector<QPointer<TFramesF>> windows;
    for (TFramesF* window : ToolWindows())
        windows.emplace_back(window);
    for (auto it = windows.rbegin(); it != windows.rend(); ++it)
        delete it->data();
    TComponentRegistry::Of(Owner).DeleteReleased();
}
