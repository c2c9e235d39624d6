#include "views/Screen_frame.h"

#include "core/Computer.h"
#include "core/Memory.h"
#include "core/Settings.h"
#include "core/Video_card.h"
#include "core/Z80.h"
#include "host/Indexed_surface.h"
#include "host/Key_thread.h"
#include "host/Render.h"
#include "platform/Application.h"
#include "platform/System_metrics.h"
#include "shell/Frames_form.h"
#include "shell/Ide.h"

#include <QActionGroup>
#include <QImage>
#include <QList>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

// The paint box: paints the picture and passes its mouse presses on. It
// takes the press itself, so a right-button press opens the menu without
// making the view active.
class TScreenPaintBox : public QWidget {
public:
    explicit TScreenPaintBox(TScreenF* view) : QWidget(view), View(view)
    {
        // Every pixel is painted: the picture and the strips beside it.
        setAttribute(Qt::WA_OpaquePaintEvent);
        setAttribute(Qt::WA_NoSystemBackground);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    void paintEvent(QPaintEvent*) override { View->ScreenPBPaint(); }
    void mousePressEvent(QMouseEvent* event) override
    {
        event->accept();
        RunGuarded([&] { View->ScreenPBMouseDown(event->button(), event->globalPosition().toPoint()); });
    }

private:
    TScreenF* View;
};

TScreenF::TScreenF(QWidget* owner, TComputer* computer)
    : TViewF(owner)
    , Computer(computer)
    , Zoom(std::clamp<int>(g_Settings->DefaultZoom.load(std::memory_order_relaxed), MinZoom, MaxZoom))
{
    // A click on the picture activates the view itself (left button only):
    // Qt's click focus would activate it for any button.
    setFocusPolicy(Qt::NoFocus);

    ScreenPB = new TScreenPaintBox(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ScreenPB);

    BuildPopupMenu();

    UpdateGeometry();
    PreferredWidth = ZoomedWidth + FrameWidth;
    PreferredHeight = ZoomedHeight + FrameHeight;

    PositionT = new QTimer(this);
    PositionT->setInterval(TimerIntervalMs);
    connect(PositionT, &QTimer::timeout, this, Guard([this] { PositionTTimer(); }));
    PositionT->start();
}

TScreenF::~TScreenF()
{
    ForgetDisplay(this);
    if (KeyboardCaptured && g_KeyThread)
        g_KeyThread->DisableForScreenView();
}

void TScreenF::BuildPopupMenu()
{
    ScreenPM = new QMenu(this);
    connect(ScreenPM, &QMenu::aboutToShow, this, Guard([this] { ScreenPMPopup(); }));

    // A radio group of items, each calling the handler with its tag.
    auto radio = [this](QMenu* menu, std::initializer_list<std::pair<const char*, int>> items,
                        std::function<void(int)> handler) {
        auto* group = new QActionGroup(menu);
        group->setExclusive(true);
        std::vector<QAction*> actions;
        for (const auto& [caption, itemTag] : items) {
            const int tag = itemTag; // Clang 14 cannot capture a structured binding
            QAction* action = menu->addAction(QString::fromLatin1(caption));
            action->setCheckable(true);
            action->setData(tag);
            group->addAction(action);
            connect(action, &QAction::triggered, this, Guard([handler, tag] { handler(tag); }));
            actions.push_back(action);
        }
        return actions;
    };
    auto check = [this](const char* caption, std::function<void()> handler) {
        QAction* action = ScreenPM->addAction(QString::fromLatin1(caption));
        action->setCheckable(true);
        connect(action, &QAction::triggered, this, Guard([handler] { handler(); }));
        return action;
    };

    QMenu* zoom = ScreenPM->addMenu(QStringLiteral("Zoom"));
    auto zooms = radio(zoom, {{"1x1", 1}, {"1x2", 2}, {"1x3", 3}}, [this](int tag) { SetZoom(tag); });
    Zoom1x1MI = zooms[0];
    Zoom1x2MI = zooms[1];
    Zoom1x3MI = zooms[2];

    QMenu* palette = ScreenPM->addMenu(QStringLiteral("Palette"));
    auto palettes = radio(palette, {{"Color", 0}, {"Grayscale", 1}}, [this](int tag) { SetGrayscale(tag != 0); });
    ColorMI = palettes[0];
    GrayscaleMI = palettes[1];

    ScreenPM->addSeparator();

    QMenu* area = ScreenPM->addMenu(QStringLiteral("Display Area"));
    auto areas = radio(area, {{"Full Raster", AreaFullRaster}, {"Full Border", AreaFullBorder},
                              {"TV Screen", AreaTVScreen}, {"Paper Only", AreaPaperOnly}},
                       [this](int tag) { SetDisplayArea(tag); });
    FullRasterMI = areas[0];
    FullBorderMI = areas[1];
    TVScreenMI = areas[2];
    PaperOnlyMI = areas[3];

    RayPositionMI = check("Ray Position", [this] { ToggleRayPosition(); });
    AttributesMI = check("Attributes", [this] { ToggleAttributes(); });
    ScreenMI = check("Screen", [this] { ToggleScreen(); });
    WideBorderMI = check("Wide Border", [this] { ToggleWideBorder(); });
    BorderShadingMI = check("Border Shading", [this] { ToggleBorderShading(); });

    QMenu* page = ScreenPM->addMenu(QStringLiteral("Video Page"));
    auto pages = radio(page, {{"Selected", 0}, {"Primary", 5}, {"Secondary", 7}},
                       [this](int tag) { SetVideoPage(static_cast<u8>(tag)); });
    SelectedMI = pages[0];
    PrimaryMI = pages[1];
    SecondaryMI = pages[2];

    QMenu* mode = ScreenPM->addMenu(QStringLiteral("Debug Mode"));
    auto modes = radio(mode, {{"RayTrace", 0}, {"RealTime", 1}}, [this](int tag) { SetDebugMode(tag != 0); });
    RayTraceMI = modes[0];
    RealTimeMI = modes[1];

    InterruptPulseMI = check("Interrupt Pulse", [this] { ToggleInterruptPulse(); });
    SyncPulsesMI = check("Sync Pulses", [this] { ToggleSyncPulses(); });
}

// ---------------------------------------------------------------------------
// Geometry

void TScreenF::UpdateGeometry()
{
    const TSettings& s = *g_Settings;
    const i32 leftBorder = static_cast<i32>(s.PixelsPerLeftBorder);
    const i32 rightBorder = static_cast<i32>(s.PixelsPerRightBorder);
    const i32 topBorder = static_cast<i32>(s.LinesPerTopBorder);
    const i32 bottomBorder = static_cast<i32>(s.LinesPerBottomBorder);
    // As the renderer takes them: a TV border never wider than the border.
    const i32 tvLeft = std::clamp<i32>(s.PixelsPerTVLeftBorder.load(std::memory_order_relaxed), 0, leftBorder);
    const i32 tvRight = std::clamp<i32>(s.PixelsPerTVRightBorder.load(std::memory_order_relaxed), 0, rightBorder);
    const i32 tvTop = std::clamp<i32>(s.LinesPerTVTopBorder.load(std::memory_order_relaxed), 0, topBorder);
    const i32 tvBottom = std::clamp<i32>(s.LinesPerTVBottomBorder.load(std::memory_order_relaxed), 0, bottomBorder);
    const i32 paperX = static_cast<i32>(s.PixelsPerHSync + s.PixelsPerHBlank) + leftBorder;
    const i32 paperY = static_cast<i32>(s.LinesPerVSync) + topBorder;

    switch (s.DisplayArea.load(std::memory_order_relaxed)) {
    case AreaFullBorder:
        SourceWidth = leftBorder + rightBorder + 256;
        SourceHeight = topBorder + bottomBorder + 192;
        SourceX = static_cast<i32>(s.PixelsPerHSync + s.PixelsPerHBlank);
        SourceY = static_cast<i32>(s.LinesPerVSync);
        break;
    case AreaTVScreen:
        SourceWidth = tvLeft + tvRight + 256;
        SourceHeight = tvTop + tvBottom + 192;
        SourceX = paperX - tvLeft;
        SourceY = paperY - tvTop;
        break;
    case AreaPaperOnly:
        SourceWidth = 256;
        SourceHeight = 192;
        SourceX = paperX;
        SourceY = paperY;
        break;
    default:  // AreaFullRaster
        SourceWidth = static_cast<i32>(s.PixelsPerLine);
        SourceHeight = static_cast<i32>(s.LinesPerFrame);
        SourceX = 0;
        SourceY = 0;
        break;
    }
    ZoomedWidth = Zoom * SourceWidth;
    ZoomedHeight = Zoom * SourceHeight;
}

void TScreenF::FitWindow()
{
    SetClientSize(ZoomedWidth, ZoomedHeight);
    ScreenPB->update();
}

// ---------------------------------------------------------------------------
// Showing the picture

void TScreenF::Blit()
{
    ScreenPB->update();
}

void TScreenF::UpdateView()
{
    {
        // Reached from a reset or a load during a run too: the renderer is
        // the stepping thread's until it is parked.
        auto pause = Computer->PauseRun();
        Computer->Render->DrawUpToTact(Computer->Z80->Tact);
    }
    Blit();
}

void TScreenF::ScreenPBPaint()
{
    // The rectangle is copied out under the surface's lock and drawn after,
    // so the renderer's next publish never waits for the scaling.
    const QRect source = GetSourceRect();
    QImage picture;
    Computer->Render->GetDC()->ReadFront([&](const TIndexedSurface::TFrontView& front) {
        if (!front.Pixels)
            return;
        QImage image(front.Pixels, front.Width, front.Height, front.Stride, QImage::Format_Indexed8);
        image.setColorTable(QList<QRgb>(front.Colours, front.Colours + TIndexedSurface::ColourTableSize));
        picture = image.copy(source);
    });

    QPainter painter(ScreenPB);
    const QRect target(0, 0, ZoomedWidth, ZoomedHeight);
    if (picture.isNull())
        painter.fillRect(target, Qt::black);
    else
        painter.drawImage(target, picture);  // no smoothing: whole pixel blocks

    const QColor face = SystemColors::ButtonFace();
    const int width = ScreenPB->width();
    const int height = ScreenPB->height();
    if (width > ZoomedWidth)
        painter.fillRect(ZoomedWidth, 0, width - ZoomedWidth, ZoomedHeight, face);
    if (height > ZoomedHeight)
        painter.fillRect(0, ZoomedHeight, width, height - ZoomedHeight, face);
}

// ---------------------------------------------------------------------------
// Activation and the mouse

void TScreenF::Activate()
{
    if (g_KeyThread) {
        g_KeyThread->EnableForScreenView();
        KeyboardCaptured = true;
    }
}

void TScreenF::Deactivate()
{
    if (g_KeyThread)
        g_KeyThread->DisableForScreenView();
    KeyboardCaptured = false;
}

void TScreenF::ScreenPBMouseDown(Qt::MouseButton button, const QPoint& global)
{
    if (button == Qt::RightButton) {
        ScreenPM->popup(global);
        return;
    }
    if (button != Qt::LeftButton)
        return;
    if (TFramesF* window = GetRootForm())
        window->ActivateNow();
    SetActive();
}

// ---------------------------------------------------------------------------
// The timer

void TScreenF::PositionTTimer()
{
    // During a run the stepping thread owns the renderer and the picture
    // moves by itself.
    if (Computer->IsRunActive())
        return;
    TRender* render = Computer->Render;
    const TSettings& s = *g_Settings;
    bool redraw = false;

    if (s.DebugMode.load(std::memory_order_relaxed) == 1) {
        if (++FlashTickCounter >= s.FlashTicks) {
            FlashTickCounter = 0;
            FlashPhase ^= 0x80;
            render->RemoveBeamMarker();
            render->DrawStatic(FlashPhase);
            redraw = true;
        }
    }
    if (s.RayPosition.load(std::memory_order_relaxed)) {
        // Four ticks shown, four hidden.
        if (BlinkCounter & 4)
            render->HideBeamMarker();
        else
            render->ShowBeamMarker(Computer->Z80->Tact);
        ++BlinkCounter;
        redraw = true;
    }
    if (redraw)
        Blit();
}

// ---------------------------------------------------------------------------
// The popup menu

void TScreenF::ScreenPMPopup()
{
    const TSettings& s = *g_Settings;
    auto on = [](const std::atomic<u8>& setting) { return setting.load(std::memory_order_relaxed) != 0; };
    AttributesMI->setChecked(on(s.Attributes));
    RayPositionMI->setChecked(on(s.RayPosition));
    BorderShadingMI->setChecked(on(s.BorderShading));
    InterruptPulseMI->setChecked(on(s.InterruptPulse));
    SyncPulsesMI->setChecked(on(s.SyncPulses));
    WideBorderMI->setChecked(on(s.WideBorder));
    ScreenMI->setChecked(on(s.Screen));
    (on(s.Grayscale) ? GrayscaleMI : ColorMI)->setChecked(true);

    // The fixed pages exist only in the 128K model.
    const bool model128 = Computer->Memory->GetModel() == TMemory::Model128;
    PrimaryMI->setEnabled(model128);
    SecondaryMI->setEnabled(model128);
    switch (s.VideoPage.load(std::memory_order_relaxed)) {
    case 5: PrimaryMI->setChecked(true); break;
    case 7: SecondaryMI->setChecked(true); break;
    default: SelectedMI->setChecked(true); break;
    }

    (Zoom == 1 ? Zoom1x1MI : Zoom == 2 ? Zoom1x2MI : Zoom1x3MI)->setChecked(true);
    switch (s.DisplayArea.load(std::memory_order_relaxed)) {
    case AreaFullBorder: FullBorderMI->setChecked(true); break;
    case AreaTVScreen: TVScreenMI->setChecked(true); break;
    case AreaPaperOnly: PaperOnlyMI->setChecked(true); break;
    default: FullRasterMI->setChecked(true); break;
    }
    (on(s.DebugMode) ? RealTimeMI : RayTraceMI)->setChecked(true);
}

bool TScreenF::WaitStopped()
{
    return Computer->WaitUntilRunEnded();
}

bool TScreenF::Toggle(std::atomic<u8>& setting)
{
    const bool now = setting.load(std::memory_order_relaxed) == 0;
    setting.store(now ? 1 : 0, std::memory_order_relaxed);
    return now;
}

void TScreenF::SetZoom(int zoom)
{
    Zoom = std::clamp(zoom, MinZoom, MaxZoom);
    UpdateGeometry();
    FitWindow();
}

void TScreenF::SetGrayscale(bool grayscale)
{
    g_Settings->Grayscale.store(grayscale ? 1 : 0, std::memory_order_relaxed);
    TRender* render = Computer->Render;
    render->RequestRecreate();
    if (WaitStopped()) {
        render->ApplyRequests();
        Blit();
    }
}

void TScreenF::SetDisplayArea(int area)
{
    g_Settings->DisplayArea.store(static_cast<u8>(area), std::memory_order_relaxed);
    UpdateGeometry();
    FitWindow();
}

void TScreenF::ToggleRayPosition()
{
    Toggle(g_Settings->RayPosition);
    if (WaitStopped()) {
        Computer->Render->HideBeamMarker();
        Blit();
    }
}

void TScreenF::ToggleAttributes()
{
    Toggle(g_Settings->Attributes);
    TRender* render = Computer->Render;
    render->RequestChanges(TRender::ChangeColourPairs);
    if (WaitStopped()) {
        render->ApplyRequests();
        render->DrawStatic(0xFF);
        Blit();
    }
}

void TScreenF::ToggleScreen()
{
    Toggle(g_Settings->Screen);
    TRender* render = Computer->Render;
    render->RequestChanges(TRender::ChangeLineSegments | TRender::ChangeDimRegions);
    if (WaitStopped()) {
        render->ApplyRequests();
        render->DrawScreen();
        render->DrawUpToTact(Computer->Z80->Tact);
        if (!g_Settings->WideBorder.load(std::memory_order_relaxed))
            render->Clear();
        Blit();
    }
}

void TScreenF::ToggleWideBorder()
{
    const bool wide = Toggle(g_Settings->WideBorder);
    TRender* render = Computer->Render;
    if (!WaitStopped()) {
        render->RequestChanges(TRender::ChangeLineSegments | TRender::ChangeDimRegions | TRender::ChangeClear);
        return;
    }
    render->RequestChanges(TRender::ChangeLineSegments | TRender::ChangeDimRegions);
    render->ApplyRequests();
    render->RemoveBeamMarker();
    render->DrawUpToTact(Computer->Z80->Tact);
    if (!wide)
        render->Clear();
    Blit();
}

void TScreenF::ToggleBorderShading()
{
    Toggle(g_Settings->BorderShading);
    if (!WaitStopped()) {
        Computer->VideoCard->RequestRebuild();
        return;
    }
    Computer->VideoCard->BuildAddressTable();
    Computer->Render->DrawUpToTact(Computer->Z80->Tact);
    Blit();
}

void TScreenF::SetVideoPage(u8 page)
{
    // "Selected" again keeps the page the machine selected.
    if (page == 0 && g_Settings->VideoPage.load(std::memory_order_relaxed) == 0)
        return;
    if (page != 0 && Computer->Memory->GetModel() != TMemory::Model128)
        return;
    // The paging port changes the same pointers on the stepping thread.
    auto pause = Computer->PauseRun();
    Computer->VideoCard->SelectVideoPage(page);
}

void TScreenF::SetDebugMode(bool realTime)
{
    g_Settings->DebugMode.store(realTime ? 1 : 0, std::memory_order_relaxed);
}

void TScreenF::ToggleInterruptPulse()
{
    Toggle(g_Settings->InterruptPulse);
    TRender* render = Computer->Render;
    render->RequestChanges(TRender::ChangeClear);
    if (WaitStopped()) {
        render->ApplyRequests();
        Blit();
    }
}

void TScreenF::ToggleSyncPulses()
{
    Toggle(g_Settings->SyncPulses);
    TRender* render = Computer->Render;
    render->RequestChanges(TRender::ChangeClear);
    if (WaitStopped()) {
        render->ApplyRequests();
        Blit();
    }
}

// ---------------------------------------------------------------------------

void RegisterScreenView()
{
    g_IDE.RegisterView(TIDE::KindScreen,
                       [](QWidget* owner, TComputer* computer, TIDE&) { return new TScreenF(owner, computer); });
}
