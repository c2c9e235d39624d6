#include "shell/Options.h"

#include "core/Computer.h"
#include "core/Settings.h"
#include "core/Z80.h"
#include "host/Direct_sound.h"
#include "host/Render.h"
#include "platform/Application.h"
#include "platform/System_metrics.h"
#include "shell/Frames_form.h"
#include "shell/Ide.h"
#include "shell/Main.h"
#include "views/Screen_frame.h"

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStackedWidget>
#include <QStyle>
#include <QToolButton>
#include <QToolTip>
#include <QTreeWidget>

#include <algorithm>

TOptionsF* OptionsF = nullptr;

// ---------------------------------------------------------------------------
// The up-down arrows

TUpDown::TUpDown(QWidget* parent, QLineEdit* buddy)
    : QWidget(parent)
    , Buddy(buddy)
{
    UpB = new QToolButton(this);
    UpB->setArrowType(Qt::UpArrow);
    UpB->setAutoRepeat(true);
    DownB = new QToolButton(this);
    DownB->setArrowType(Qt::DownArrow);
    DownB->setAutoRepeat(true);
    // Beside the edit, as tall as it, the two arrows one above the other.
    const QRect edit = buddy->geometry();
    setGeometry(edit.right() + 1, edit.top(), 15, edit.height());
    UpB->setGeometry(0, 0, 15, edit.height() / 2);
    DownB->setGeometry(0, edit.height() / 2, 15, edit.height() - edit.height() / 2);
    connect(UpB, &QToolButton::clicked, this, Guard([this] { Step(1); }));
    connect(DownB, &QToolButton::clicked, this, Guard([this] { Step(-1); }));
    buddy->installEventFilter(this);
}

void TUpDown::SetRange(int min, int max)
{
    Min = min;
    Max = std::max(min, max);
}

void TUpDown::SetPosition(int position)
{
    Position = std::clamp(position, Min, Max);
    Buddy->setText(QString::number(Position));
}

void TUpDown::Step(int delta)
{
    bool ok = false;
    const int typed = Buddy->text().trimmed().toInt(&ok);
    SetPosition((ok ? std::clamp(typed, Min, Max) : Position) + delta);
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Buddy && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            RunGuarded([&] { Step(key == Qt::Key_Up ? 1 : -1); });
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Construction

TOptionsF::TOptionsF(QWidget* owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("OptionsF"));
    setWindowTitle(QStringLiteral("Options"));
    setFixedSize(683, 411);

    OptionsTV = new QTreeWidget(this);
    OptionsTV->setObjectName(QStringLiteral("OptionsTV"));
    OptionsTV->setGeometry(8, 8, 209, 393);
    OptionsTV->setHeaderHidden(true);
    OptionsTV->setColumnCount(1);

    // The pages are chosen only through the tree: a stack without tabs.
    OptionPC = new QStackedWidget(this);
    OptionPC->setObjectName(QStringLiteral("OptionPC"));
    OptionPC->setGeometry(225, 8, 450, 393);
    EmptyTS = new QWidget;
    EmptyTS->setObjectName(QStringLiteral("EmptyTS"));
    VideoTS = new QWidget;
    VideoTS->setObjectName(QStringLiteral("VideoTS"));
    SoundTS = new QWidget;
    SoundTS->setObjectName(QStringLiteral("SoundTS"));
    TimingsTS = new QWidget;
    TimingsTS->setObjectName(QStringLiteral("TimingsTS"));
    for (QWidget* page : {EmptyTS, VideoTS, SoundTS, TimingsTS})
        OptionPC->addWidget(page);

    BuildVideoPage();
    BuildSoundPage();
    BuildTimingsPage();
    BuildTree();

    FillTimings();
    FillVideo();
    OptionPC->setCurrentWidget(VideoTS);

    connect(OptionsTV, &QTreeWidget::currentItemChanged, this,
            Guard([this](QTreeWidgetItem* node, QTreeWidgetItem* previous) { OptionsTVChange(node, previous); }));
    // A refused change of page leaves the highlight on the page shown: a
    // click moves the current node first and selects the clicked one after
    // the current has gone back.
    connect(OptionsTV->selectionModel(), &QItemSelectionModel::selectionChanged, this, Guard([this] {
                if (Invalid && !Reverting)
                    HighlightCurrentNode();
            }));
    for (QLineEdit* edit : BorderEdits())
        connect(edit, &QLineEdit::textChanged, this, Guard([this] { TVBorderChange(); }));
    connect(TVBorderResetBB, &QPushButton::clicked, this, Guard([this] { TVBorderResetBBClick(); }));
    connect(ZoomCB, &QComboBox::currentIndexChanged, this, Guard([this] { ZoomCBChange(); }));
    connect(SyncValueTB, &QSlider::valueChanged, this, Guard([this] { SyncValueTBChange(); }));
    // The position tip above the thumb while it is dragged.
    connect(SyncValueTB, &QSlider::sliderMoved, this, [this](int value) {
        const QPoint above = SyncValueTB->mapToGlobal(QPoint(SyncValueTB->width() * (value + 100) / 200, -24));
        QToolTip::showText(above, QString::number(value), SyncValueTB);
    });
}

TOptionsF::~TOptionsF() = default;

void TOptionsF::BuildTree()
{
    struct TNode {
        const char* Caption;
        int Parent;  // index into the table, -1 for a top-level node
        int Page;
    };
    static const TNode nodes[] = {
        {"Environment", -1, PageEmpty},  {"Emulator", -1, PageEmpty},   {"Presets", 1, PageEmpty},
        {"Memory", 1, PageEmpty},        {"ROM Files", 1, PageEmpty},   {"Timings", 1, PageTimings},
        {"Video", 1, PageVideo},         {"Devices", 1, PageEmpty},     {"Kempston Joystick", 7, PageEmpty},
        {"Sound", 1, PageSound},         {"Keys", 1, PageEmpty},        {"Debuger", -1, PageEmpty},
        {"Assembler", -1, PageEmpty},    {"Disassembler", -1, PageEmpty},
    };
    std::vector<QTreeWidgetItem*> items;
    for (const TNode& node : nodes) {
        auto* item = node.Parent < 0 ? new QTreeWidgetItem(OptionsTV) : new QTreeWidgetItem(items[node.Parent]);
        item->setText(0, QString::fromLatin1(node.Caption));
        item->setData(0, Qt::UserRole, node.Page);
        items.push_back(item);
    }
    OptionsTV->expandAll();
    // The video page is shown first: its node is the selected one.
    Reverting = true;
    OptionsTV->setCurrentItem(FindNode(QStringLiteral("Video")));
    Reverting = false;
}

void TOptionsF::BuildVideoPage()
{
    ScreenViewGB = new QGroupBox(QStringLiteral(" Screen View Defaults "), VideoTS);
    ScreenViewGB->setGeometry(8, 8, 433, 64);
    auto* label = new QLabel(QStringLiteral("Zoom"), ScreenViewGB);
    label->setGeometry(16, 28, 60, 15);
    ZoomCB = new QComboBox(ScreenViewGB);
    ZoomCB->setObjectName(QStringLiteral("ZoomCB"));
    ZoomCB->setGeometry(80, 24, 100, 22);
    ZoomCB->addItems({QStringLiteral("1x1"), QStringLiteral("1x2"), QStringLiteral("1x3")});
    label->setBuddy(ZoomCB);
}

void TOptionsF::BuildSoundPage()
{
    SoundEngineGB = new QGroupBox(QStringLiteral(" Sound Engine "), SoundTS);
    SoundEngineGB->setGeometry(8, 8, 433, 100);
    auto* label = new QLabel(QStringLiteral("Sound Sync Value"), SoundEngineGB);
    label->setGeometry(16, 24, 150, 15);
    SyncValueTB = new QSlider(Qt::Horizontal, SoundEngineGB);
    SyncValueTB->setObjectName(QStringLiteral("SyncValueTB"));
    SyncValueTB->setGeometry(16, 44, 401, 28);
    SyncValueTB->setRange(TDirectSound::MinSyncDelay, TDirectSound::MaxSyncDelay);
    SyncValueTB->setTickInterval(5);
    SyncValueTB->setTickPosition(QSlider::TicksBelow);
    SyncValueTB->setPageStep(5);
    label->setBuddy(SyncValueTB);
    auto mark = [this](const char* text, int x, Qt::Alignment alignment) {
        auto* l = new QLabel(QString::fromLatin1(text), SoundEngineGB);
        l->setGeometry(x, 74, 40, 15);
        l->setAlignment(alignment);
    };
    mark("-100", 16, Qt::AlignLeft);
    mark("0", 16 + 401 / 2 - 20, Qt::AlignHCenter);
    mark("+100", 16 + 401 - 40, Qt::AlignRight);
}

void TOptionsF::BuildTimingsPage()
{
    TVBorderGB = new QGroupBox(QStringLiteral(" TV Border Size "), TimingsTS);
    TVBorderGB->setGeometry(8, 8, 433, 150);
    auto edit = [this](const char* caption, int x, int y, TUpDown*& upDown) {
        auto* label = new QLabel(QString::fromLatin1(caption), TVBorderGB);
        label->setGeometry(x, y, 60, 15);
        auto* line = new QLineEdit(TVBorderGB);
        line->setGeometry(x, y + 16, 60, 21);
        label->setBuddy(line);
        upDown = new TUpDown(TVBorderGB, line);
        return line;
    };
    TVBorderLeftLE = edit("Left", 16, 24, LeftUD);
    TVBorderRightLE = edit("Right", 112, 24, RightUD);
    TVBorderTopLE = edit("Top", 208, 24, TopUD);
    TVBorderBottomLE = edit("Bottom", 304, 24, BottomUD);
    TVBorderResetBB = new QPushButton(QStringLiteral("Reset to Default"), TVBorderGB);
    TVBorderResetBB->setGeometry(16, 80, 120, 25);
    TVBorderResetBB->setAutoDefault(false);
}

std::array<QLineEdit*, 4> TOptionsF::BorderEdits() const
{
    return {TVBorderLeftLE, TVBorderRightLE, TVBorderTopLE, TVBorderBottomLE};
}

std::array<TUpDown*, 4> TOptionsF::BorderUpDowns() const
{
    return {LeftUD, RightUD, TopUD, BottomUD};
}

std::atomic<i32>& TOptionsF::BorderSetting(int i)
{
    TSettings& s = *g_Settings;
    switch (i) {
    case 0: return s.PixelsPerTVLeftBorder;
    case 1: return s.PixelsPerTVRightBorder;
    case 2: return s.LinesPerTVTopBorder;
    default: return s.LinesPerTVBottomBorder;
    }
}

i32 TOptionsF::BorderMaximum(int i)
{
    const TSettings& s = *g_Settings;
    switch (i) {
    case 0: return static_cast<i32>(s.PixelsPerLeftBorder);
    case 1: return static_cast<i32>(s.PixelsPerRightBorder);
    case 2: return static_cast<i32>(s.LinesPerTopBorder);
    default: return static_cast<i32>(s.LinesPerBottomBorder);
    }
}

// ---------------------------------------------------------------------------
// Showing

int TOptionsF::Execute(TComputer* computer)
{
    Computer = computer;
    // The settings may have changed since the last showing.
    ShowPage(GetCurrentPage());
    return exec();
}

void TOptionsF::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());
}

int TOptionsF::GetCurrentPage() const
{
    QWidget* page = OptionPC->currentWidget();
    if (page == VideoTS)
        return PageVideo;
    if (page == SoundTS)
        return PageSound;
    if (page == TimingsTS)
        return PageTimings;
    return PageEmpty;
}

QTreeWidgetItem* TOptionsF::FindNode(const QString& caption) const
{
    const QList<QTreeWidgetItem*> found = OptionsTV->findItems(caption, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
}

void TOptionsF::Beep()
{
    ++Beeps;
    QApplication::beep();
}

void TOptionsF::HighlightCurrentNode()
{
    QTreeWidgetItem* current = OptionsTV->currentItem();
    if (!current || (current->isSelected() && OptionsTV->selectedItems().size() == 1))
        return;
    Reverting = true;
    OptionsTV->clearSelection();
    current->setSelected(true);
    Reverting = false;
}

void TOptionsF::OptionsTVChange(QTreeWidgetItem* node, QTreeWidgetItem* previous)
{
    if (Reverting || !node)
        return;
    if (Invalid) {
        Beep();
        Reverting = true;
        OptionsTV->setCurrentItem(previous);
        Reverting = false;
        return;
    }
    ShowPage(node->data(0, Qt::UserRole).toInt());
}

void TOptionsF::ShowPage(int page)
{
    switch (page) {
    case PageVideo:
        FillVideo();
        OptionPC->setCurrentWidget(VideoTS);
        break;
    case PageSound:
        FillSound();
        OptionPC->setCurrentWidget(SoundTS);
        break;
    case PageTimings:
        FillTimings();
        OptionPC->setCurrentWidget(TimingsTS);
        break;
    default:
        OptionPC->setCurrentWidget(EmptyTS);
        break;
    }
}

void TOptionsF::FillTimings()
{
    Filling = true;
    const std::array<TUpDown*, 4> upDowns = BorderUpDowns();
    for (int i = 0; i < 4; ++i) {
        upDowns[i]->SetRange(0, BorderMaximum(i));
        upDowns[i]->SetPosition(BorderSetting(i).load(std::memory_order_relaxed));
    }
    Filling = false;
}

void TOptionsF::FillVideo()
{
    Filling = true;
    ZoomCB->setCurrentIndex(std::clamp<int>(g_Settings->DefaultZoom.load(std::memory_order_relaxed), 1, 3) - 1);
    Filling = false;
}

void TOptionsF::FillSound()
{
    Filling = true;
    SyncValueTB->setValue(g_Settings->SoundSyncDelay.load(std::memory_order_relaxed));
    Filling = false;
}

// ---------------------------------------------------------------------------
// Changes

void TOptionsF::TVBorderChange()
{
    if (Filling)
        return;
    Invalid = false;
    const std::array<QLineEdit*, 4> edits = BorderEdits();
    std::array<i32, 4> values{};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        i32 value = edits[i]->text().trimmed().toInt(&ok);
        if (!ok)
            value = -1;
        const bool bad = value < 0 || value > BorderMaximum(i);
        if (bad) {
            Invalid = true;
            value = DefaultBorders[i];
        }
        QPalette palette = edits[i]->palette();
        palette.setColor(QPalette::Base, bad ? QColor(Qt::yellow) : SystemColors::Window());
        edits[i]->setPalette(palette);
        values[i] = value;
    }
    for (int i = 0; i < 4; ++i)
        BorderSetting(i).store(values[i], std::memory_order_relaxed);
    ApplyBorders();
}

void TOptionsF::ApplyBorders()
{
    if (!Computer)
        return;
    TRender* render = Computer->Render;
    // Seen by the stepping thread at its next frame end; while stopped the
    // renderer is ours and takes it now.
    render->RequestChanges(TRender::ChangeTimings);
    if (Computer->WaitUntilRunEnded()) {
        render->ApplyRequests();
        render->DrawUpToTact(Computer->Z80->Tact);
        Computer->RefreshScreenView();
    }
    // Screen views showing the TV screen take its new size.
    for (TFramesF* window : g_IDE.ToolWindows()) {
        for (TScreenF* screen : window->findChildren<TScreenF*>()) {
            const QSize before = screen->GetZoomedSize();
            screen->UpdateGeometry();
            if (screen->GetZoomedSize() != before)
                screen->SetClientSize(screen->GetZoomedSize().width(), screen->GetZoomedSize().height());
            screen->GetPaintBox()->update();
        }
    }
}

void TOptionsF::TVBorderResetBBClick()
{
    for (int i = 0; i < 4; ++i)
        BorderSetting(i).store(DefaultBorders[i], std::memory_order_relaxed);
    FillTimings();
    TVBorderChange();
}

void TOptionsF::ZoomCBChange()
{
    if (Filling || ZoomCB->currentIndex() < 0)
        return;
    g_Settings->DefaultZoom.store(static_cast<u8>(ZoomCB->currentIndex() + 1), std::memory_order_relaxed);
}

void TOptionsF::SyncValueTBChange()
{
    if (Filling)
        return;
    g_Settings->SoundSyncDelay.store(SyncValueTB->value(), std::memory_order_relaxed);
    if (MainF)
        MainF->ApplySoundSync();
    else if (g_DirectSound)
        g_DirectSound->SetSyncOffset();
}

// ---------------------------------------------------------------------------
// Closing

bool TOptionsF::CanClose()
{
    if (!Invalid)
        return true;
    Beep();
    return false;
}

void TOptionsF::reject()
{
    if (CanClose())
        QDialog::reject();
}
