// TIDE, the view manager (g_IDE): knows the fifteen kinds of tool view,
// opens a view of a kind in a new floating tool window, finds open views,
// refreshes every open view after the machine changed, passes application
// activation to the active view, and holds the IDE's project group.
//
// It keeps no view pointers: the tool windows are components of the owner
// (the main window), and every search walks the owner's component registry
// in creation order and asks each "TFramesF" found.
//
// The view classes live elsewhere and come later; each kind gets its
// creation hook when the views are linked in:
//
//     g_IDE.RegisterView(1, [](QWidget* owner, TComputer* computer, TIDE&) {
//         return new TZ80F(owner, computer);
//     });
//     g_IDE.Init(mainWindow, computer);      // once, by the main window
//     g_IDE.ShowView(1);                     // Z80View1 in "Z80 View #1"
//
// A kind without a hook opens nothing (ShowView gives null).
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <vector>

class TComputer;
class TFramesF;
class TProjectGroup;
class TViewF;
class TIDE;

// Builds a view of one kind with the owner (every view's owner is the main
// window), from the machine and the view manager's project group.
using TViewFactory = std::function<TViewF*(QWidget* owner, TComputer* computer, TIDE& ide)>;

struct TViewKind {
    const char* ClassName;      // what FindView looks for
    const char* NamePrefix;     // component name, followed by the number
    const char* CaptionPrefix;  // caption, followed by the number
};

// Views are numbered by this counter across all kinds: the first view is 1,
// numbers are never reused (a failed ShowView uses one up too).
extern int g_ViewCounter;

class TIDE {
public:
    static constexpr int ViewKindCount = 15;
    enum TKind {
        KindMemory = 0, KindZ80 = 1, KindDasm = 2, KindStack = 3, KindScreen = 4, KindTapeRecorder = 5,
        KindOscilloscope = 6, KindProjectManager = 7, KindKeyboard = 8, KindBetaDisk = 9, KindTape = 10,
        KindBreakpoints = 11, KindEditor = 12, KindDisk = 13, KindPages = 14
    };
    static const std::array<TViewKind, ViewKindCount>& ViewKinds();

    TIDE();
    ~TIDE();
    TIDE(const TIDE&) = delete;
    TIDE& operator=(const TIDE&) = delete;

    // The owner of every tool window and view, and the machine they show.
    void Init(QWidget* owner, TComputer* computer);
    QWidget* GetOwner() const { return Owner; }
    TComputer* GetComputer() const { return Computer; }

    // The creation hook of a view kind (an empty one removes it).
    void RegisterView(int kind, TViewFactory factory);
    bool IsViewRegistered(int kind) const;

    // Opens a new view of the kind in a new tool window and returns it;
    // null for an unknown kind or one without a creation hook.
    TViewF* ShowView(int kind);
    // The class name of the kind; empty for any other value.
    static QString ViewClassName(int kind);
    // The first view of the kind in the first tool window (creation order)
    // that holds one; opens one when there is none and create is set.
    TViewF* FindView(int kind, bool create);
    // Every view refreshes itself from the machine.
    void UpdateViews();
    // The active view of the active tool window, when its class name is the
    // given one (any, for an empty name).
    TViewF* FindActiveView(const QString& className);
    void AppActivate();
    void AppDeactivate();
    // Deletes every tool window with its frames and views (also those that
    // went away but were not deleted yet). For the owner's destruction: not
    // from inside a tool window's own handler.
    void CloseAll();
    // The tool windows, in creation order.
    std::vector<TFramesF*> ToolWindows() const;

    // The IDE's one project group, handed to the project manager view. The
    // project model installs it; the view manager owns it from then on.
    void SetProjectGroup(std::shared_ptr<TProjectGroup> group) { ProjectGroup = std::move(group); }
    TProjectGroup* GetProjectGroup() const { return ProjectGroup.get(); }

private:
    QPointer<QWidget> Owner;
    TComputer* Computer = nullptr;
    std::shared_ptr<TProjectGroup> ProjectGroup;
    std::array<TViewFactory, ViewKindCount> Factories;
};

extern TIDE g_IDE;
