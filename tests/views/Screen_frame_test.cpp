// The screen view: display-area geometry and window sizes, the painted
// picture against the published frame, the timer's marker and flash, the
// popup menu's marks and choices, the video page, mouse presses, keyboard
// capture and g_Display.
#include "tests/shell/Qt_test_app.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include "core/Computer.h"
#include "core/Display.h"
#include "core/Memory.h"
#include "core/Video_card.h"
#include "core/Z80.h"
#include "host/Indexed_surface.h"
#include "host/Key_source.h"
#include "host/Key_thread.h"
#include "host/Render_gdi_8bit.h"
#include "core/Ports.h"
#include "shell/Frames_form.h"
#include "shell/Single_frame.h"
#include "shell/Ide.h"
#include "views/Screen_frame.h"

#include <QImage>
#include <QMenu>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace {

class ScreenView : public ::testing::Test {
protected:
    void SetUp() override
    {
        Computer = std::make_unique<TComputer>(Host.Services());
        g_IDE.Init(&Owner, Computer.get());
        RegisterScreenView();
        g_ViewCounter = 0;
    }
    void TearDown() override
    {
        g_IDE.CloseAll();
        Settle();
        g_IDE.Init(nullptr, nullptr);
        g_Display = nullptr;
    }

    // A new screen view in its own tool window, its timer stopped so that
    // the test drives the ticks.
    TScreenF* Open()
    {
        auto* view = qobject_cast<TScreenF*>(g_IDE.ShowView(TIDE::KindScreen));
        EXPECT_NE(view, nullptr);
        if (view)
            view->PositionT->stop();
        Settle();
        return view;
    }

    TRenderGDI8Bit& Render() { return static_cast<TRenderGDI8Bit&>(*Computer->Render); }
    TIndexedSurface& Surface() { return *Computer->Render->GetDC(); }

    TTestSettings Settings;
    TFakeHostServices Host;
    std::unique_ptr<TComputer> Computer;
    QWidget Owner;
};

// Counts the paint events a widget receives.
class TPaintCounter : public QObject {
public:
    explicit TPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int Count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++Count;
        return false;
    }
};

struct TAreaCase {
    int Area;
    int Zoom;
    QRect Source;
    QSize Zoomed;
};

} // namespace

TEST_F(ScreenView, DisplayAreasTakeTheirRectangleOfTheRaster)
{
    TScreenF* view = Open();
    const std::vector<TAreaCase> cases = {
        {TScreenF::AreaFullRaster, 2, QRect(0, 0, 448, 320), QSize(896, 640)},
        {TScreenF::AreaPaperOnly, 1, QRect(136, 80, 256, 192), QSize(256, 192)},
        {TScreenF::AreaFullBorder, 1, QRect(64, 16, 384, 304), QSize(384, 304)},
        {TScreenF::AreaTVScreen, 1, QRect(96, 34, 332, 264), QSize(332, 264)},
        {TScreenF::AreaTVScreen, 3, QRect(96, 34, 332, 264), QSize(996, 792)},
    };
    for (const TAreaCase& c : cases) {
        view->SetZoom(c.Zoom);
        view->SetDisplayArea(c.Area);
        EXPECT_EQ(view->GetSourceRect(), c.Source) << "area " << c.Area;
        EXPECT_EQ(view->GetZoomedSize(), c.Zoomed) << "area " << c.Area << " zoom " << c.Zoom;
        EXPECT_EQ(Settings->DisplayArea.load(), c.Area);
    }
}

TEST_F(ScreenView, ANewViewAsksForItsPictureAndTheWindowFrame)
{
    TScreenF* view = Open();
    EXPECT_EQ(view->GetZoom(), 2);
    EXPECT_EQ(view->PreferredWidth, 904);
    EXPECT_EQ(view->PreferredHeight, 666);
    TFramesF* window = view->GetRootForm();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->size(), QSize(904, 666));
    EXPECT_EQ(view->size(), QSize(896, 640));
    EXPECT_EQ(view->objectName(), QStringLiteral("ScreenView1"));
    EXPECT_EQ(view->Caption, QStringLiteral("Screen View #1"));
}

TEST_F(ScreenView, ZoomAndAreaChangesResizeTheWindowToThePicture)
{
    TScreenF* view = Open();
    TFramesF* window = view->GetRootForm();
    view->PaperOnlyMI->trigger();
    Settle();
    EXPECT_EQ(window->ClientRect().size(), QSize(512, 384));
    view->Zoom1x3MI->trigger();
    Settle();
    EXPECT_EQ(window->ClientRect().size(), QSize(768, 576));
    view->Zoom1x2MI->trigger();
    view->FullRasterMI->trigger();
    Settle();
    EXPECT_EQ(window->ClientRect().size(), QSize(896, 640));
    EXPECT_EQ(view->size(), QSize(896, 640));
}

TEST_F(ScreenView, TheStoredZoomIsKeptWithinOneToThree)
{
    Settings->DefaultZoom = 0;
    EXPECT_EQ(Open()->GetZoom(), 1);
    Settings->DefaultZoom = 9;
    EXPECT_EQ(Open()->GetZoom(), 3);
    Settings->DefaultZoom = 1;
    TScreenF* view = Open();
    EXPECT_EQ(view->GetZoom(), 1);
    EXPECT_EQ(view->PreferredWidth, 448 + 8);
    EXPECT_EQ(view->PreferredHeight, 320 + 26);
}

TEST_F(ScreenView, AZoomThreePaintShowsEachPixelAsAThreeByThreeBlock)
{
    // A picture with detail in every pixel: a pattern in the screen bank,
    // drawn as a still picture and published.
    u8* screen = Computer->Memory->GetBankPtr(5);
    ASSERT_NE(screen, nullptr);
    for (int i = 0; i < 6144; ++i)
        screen[i] = static_cast<u8>(i * 37 + (i >> 5));
    for (int i = 0; i < 768; ++i)
        screen[6144 + i] = static_cast<u8>((i * 13) & 0x7F);
    Computer->VideoCard->BorderWrite(2);
    Computer->Render->DrawStatic(0xFF);

    Settings->DefaultZoom = 3;
    TScreenF* view = Open();
    view->SetDisplayArea(TScreenF::AreaTVScreen);
    Settle();
    const QRect source = view->GetSourceRect();
    const QImage painted = view->ScreenPB->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_GE(painted.width(), 3 * source.width());
    ASSERT_GE(painted.height(), 3 * source.height());

    std::vector<u8> pixels;
    TIndexedSurface::TColourTable colours{};
    i32 width = 0;
    i32 height = 0;
    Surface().CopyFront(pixels, colours, width, height);
    ASSERT_EQ(width, 448);
    int mismatches = 0;
    for (int y = 0; y < source.height(); ++y)
        for (int x = 0; x < source.width(); ++x) {
            const QRgb expected = colours[pixels[std::size_t((source.y() + y) * width + source.x() + x)]] | 0xFF000000u;
            for (int dy = 0; dy < 3; ++dy)
                for (int dx = 0; dx < 3; ++dx)
                    if (painted.pixel(3 * x + dx, 3 * y + dy) != expected && ++mismatches <= 5)
                        ADD_FAILURE() << "pixel (" << x << ", " << y << ") block (" << dx << ", " << dy << ")";
        }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(ScreenView, PaintingFillsTheAreaBesideThePictureWithTheFaceColour)
{
    Settings->DefaultZoom = 1;
    TScreenF* view = Open();
    view->SetDisplayArea(TScreenF::AreaPaperOnly);
    view->GetRootForm()->resize(600, 400);  // larger than the picture
    Settle();
    const QImage painted = view->ScreenPB->grab().toImage().convertToFormat(QImage::Format_RGB32);
    ASSERT_GT(painted.width(), 300);
    ASSERT_GT(painted.height(), 250);
    const QRgb face = QColor(0xD4, 0xD0, 0xC8).rgb();
    EXPECT_EQ(painted.pixel(painted.width() - 1, 10), face);
    EXPECT_EQ(painted.pixel(10, painted.height() - 1), face);
    EXPECT_EQ(painted.pixel(painted.width() - 1, painted.height() - 1), face);
}

TEST_F(ScreenView, TheBeamMarkerBlinksFourTicksOnAndFourOff)
{
    Settings->RayPosition = 1;
    Settings->DebugMode = 0;
    TScreenF* view = Open();
    Computer->Z80->Tact = 20000;
    std::vector<bool> shown;
    for (int tick = 0; tick < 9; ++tick) {
        view->PositionTTimer();
        shown.push_back(Render().IsBeamMarkerShown());
    }
    EXPECT_EQ(shown, (std::vector<bool>{true, true, true, true, false, false, false, false, true}));
    // The cross sits at the beam position of the T-state: (2 x (20000 mod 224), 20000 / 224).
    EXPECT_EQ(Render().GetPixel(2 * (20000 % 224), 20000 / 224), TRenderGDI8Bit::MarkerLight);
}

TEST_F(ScreenView, InRayTraceModeWithoutTheMarkerTheTimerDrawsNothing)
{
    Settings->RayPosition = 0;
    Settings->DebugMode = 0;
    TScreenF* view = Open();
    const u64 before = Surface().GetSerial();
    for (int tick = 0; tick < 40; ++tick)
        view->PositionTTimer();
    EXPECT_EQ(Surface().GetSerial(), before);
}

TEST_F(ScreenView, InRealTimeModeTheFlashPhaseTurnsEverySixteenTicks)
{
    Settings->RayPosition = 0;
    Settings->DebugMode = 1;
    // A flashing cell: ink 7 on paper 0, pixels all set.
    u8* screen = Computer->Memory->GetBankPtr(5);
    screen[0] = 0xFF;
    screen[6144] = 0x87;
    TScreenF* view = Open();
    const u64 before = Surface().GetSerial();
    for (int tick = 0; tick < 15; ++tick)
        view->PositionTTimer();
    EXPECT_EQ(view->GetFlashPhase(), 0xFF);
    EXPECT_EQ(Surface().GetSerial(), before);
    view->PositionTTimer();
    EXPECT_EQ(view->GetFlashPhase(), 0x7F);
    EXPECT_GT(Surface().GetSerial(), before);
    EXPECT_EQ(view->GetFlashTickCounter(), 0);
    // With the flash masked off the cell shows its plain colours: ink (7) on
    // the set pixels; with it on, swapped: paper (0).
    EXPECT_EQ(Render().GetPixel(136, 80), 7);
    for (int tick = 0; tick < 16; ++tick)
        view->PositionTTimer();
    EXPECT_EQ(view->GetFlashPhase(), 0xFF);
    EXPECT_EQ(Render().GetPixel(136, 80), 0);
}

TEST_F(ScreenView, AStoppedMachinePaintsOnlyWhenThePictureChanges)
{
    Settings->RayPosition = 0;
    Settings->DebugMode = 0;
    // A screen without flashing cells.
    u8* screen = Computer->Memory->GetBankPtr(5);
    std::fill(screen, screen + 6912, u8{0x38});
    Computer->Render->DrawStatic(0xFF);
    TScreenF* view = Open();
    ASSERT_TRUE(view->ScreenPB->isVisible());
    TPaintCounter paints(view->ScreenPB);
    auto tick = [&](int count) {
        for (int i = 0; i < count; ++i) {
            view->PositionTTimer();
            Settle();
        }
    };

    // RayTrace without the marker: ticks, refreshes and a publish of the
    // same picture paint nothing.
    tick(64);
    view->Blit();
    Surface().Publish();
    view->Blit();
    Settle();
    EXPECT_EQ(paints.Count, 0);

    // RealTime: a flash turn of a screen without flashing cells changes
    // nothing; with one, each turn paints once.
    Settings->DebugMode = 1;
    tick(32);
    EXPECT_EQ(paints.Count, 0);
    screen[0] = 0xFF;
    screen[6144] = 0x87;
    tick(32);
    EXPECT_EQ(paints.Count, 2);

    // The blinking marker: one paint each time it appears or goes, not one
    // per tick.
    Settings->DebugMode = 0;
    Settings->RayPosition = 1;
    Computer->Z80->Tact = 20000;
    paints.Count = 0;
    int changes = 0;
    for (int i = 0; i < 64; ++i) {
        const bool shown = Render().IsBeamMarkerShown();
        tick(1);
        changes += Render().IsBeamMarkerShown() != shown;
    }
    EXPECT_EQ(changes, 16);
    EXPECT_EQ(paints.Count, changes);

    // Being exposed still paints.
    view->ScreenPB->update();
    Settle();
    EXPECT_EQ(paints.Count, changes + 1);
}

TEST_F(ScreenView, ThePopupMenuShowsTheSettings)
{
    Settings->Attributes = 0;
    Settings->RayPosition = 1;
    Settings->BorderShading = 0;
    Settings->InterruptPulse = 1;
    Settings->SyncPulses = 0;
    Settings->WideBorder = 1;
    Settings->Screen = 0;
    Settings->Grayscale = 1;
    Settings->DisplayArea = TScreenF::AreaTVScreen;
    Settings->DebugMode = 1;
    Settings->DefaultZoom = 3;
    TScreenF* view = Open();
    view->ScreenPMPopup();
    EXPECT_FALSE(view->AttributesMI->isChecked());
    EXPECT_TRUE(view->RayPositionMI->isChecked());
    EXPECT_FALSE(view->BorderShadingMI->isChecked());
    EXPECT_TRUE(view->InterruptPulseMI->isChecked());
    EXPECT_FALSE(view->SyncPulsesMI->isChecked());
    EXPECT_TRUE(view->WideBorderMI->isChecked());
    EXPECT_FALSE(view->ScreenMI->isChecked());
    EXPECT_TRUE(view->GrayscaleMI->isChecked());
    EXPECT_FALSE(view->ColorMI->isChecked());
    EXPECT_TRUE(view->TVScreenMI->isChecked());
    EXPECT_TRUE(view->RealTimeMI->isChecked());
    EXPECT_TRUE(view->Zoom1x3MI->isChecked());
    EXPECT_TRUE(view->SelectedMI->isChecked());
    EXPECT_TRUE(view->PrimaryMI->isEnabled());

    Settings->Attributes = 1;
    Settings->Grayscale = 0;
    Settings->DebugMode = 0;
    view->SetZoom(1);
    view->ScreenPMPopup();
    EXPECT_TRUE(view->AttributesMI->isChecked());
    EXPECT_TRUE(view->ColorMI->isChecked());
    EXPECT_TRUE(view->RayTraceMI->isChecked());
    EXPECT_TRUE(view->Zoom1x1MI->isChecked());
}

TEST_F(ScreenView, MenuTogglesChangeTheSharedSettings)
{
    TScreenF* view = Open();
    const u8 attributes = Settings->Attributes;
    view->AttributesMI->trigger();
    EXPECT_NE(Settings->Attributes.load(), attributes);
    const u8 pulses = Settings->SyncPulses;
    view->SyncPulsesMI->trigger();
    EXPECT_NE(Settings->SyncPulses.load(), pulses);
    view->RealTimeMI->trigger();
    EXPECT_EQ(Settings->DebugMode.load(), 1);
    view->RayTraceMI->trigger();
    EXPECT_EQ(Settings->DebugMode.load(), 0);
    // Only the zoom belongs to the view.
    TScreenF* other = Open();
    view->Zoom1x1MI->trigger();
    EXPECT_EQ(view->GetZoom(), 1);
    EXPECT_EQ(other->GetZoom(), 2);
}

TEST_F(ScreenView, GrayscaleWhileStoppedChangesThePictureAtOnce)
{
    TScreenF* view = Open();
    auto isGrey = [this] {
        std::vector<u8> pixels;
        TIndexedSurface::TColourTable colours{};
        i32 width = 0;
        i32 height = 0;
        Surface().CopyFront(pixels, colours, width, height);
        const QRgb blue = colours[1];
        return qRed(blue) == qGreen(blue) && qGreen(blue) == qBlue(blue);
    };
    EXPECT_FALSE(isGrey());
    view->GrayscaleMI->trigger();
    EXPECT_EQ(Settings->Grayscale.load(), 1);
    EXPECT_TRUE(isGrey());
    view->ColorMI->trigger();
    EXPECT_FALSE(isGrey());
}

TEST_F(ScreenView, GrayscaleDuringARunReachesThePictureAtAFrameEnd)
{
    TScreenF* view = Open();
    auto blueIsGrey = [this] {
        std::vector<u8> pixels;
        TIndexedSurface::TColourTable colours{};
        i32 width = 0;
        i32 height = 0;
        Surface().CopyFront(pixels, colours, width, height);
        return qRed(colours[1]) == qBlue(colours[1]);
    };
    ASSERT_TRUE(Computer->Run(nullptr));
    view->SetGrayscale(true);
    // Only a request: the stepping thread re-creates the picture.
    bool grey = false;
    for (int i = 0; i < 2000 && !(grey = blueIsGrey()); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(grey);
    EXPECT_TRUE(Computer->IsRunActive());
    Computer->Stop();
    EXPECT_FALSE(Computer->Render->IsRecreateRequested());
}

TEST_F(ScreenView, VideoPagesReturnToThePageTheMachineSelected)
{
    TScreenF* view = Open();
    TVideoCard* video = Computer->VideoCard;
    const u8* selected = video->GetScreenMemory();
    ASSERT_EQ(selected, Computer->Memory->GetBankPtr(5));
    // The machine pages bank 7 in as its screen (port 0x7FFD bit 3).
    Computer->Ports->Write(0x7FFD, 0x08);
    selected = video->GetScreenMemory();
    ASSERT_EQ(selected, Computer->Memory->GetBankPtr(7));

    view->PrimaryMI->trigger();
    EXPECT_EQ(video->GetScreenMemory(), Computer->Memory->GetBankPtr(5));
    EXPECT_EQ(Settings->VideoPage.load(), 5);
    view->SecondaryMI->trigger();
    EXPECT_EQ(video->GetScreenMemory(), Computer->Memory->GetBankPtr(7));
    EXPECT_EQ(Settings->VideoPage.load(), 7);
    view->PrimaryMI->trigger();
    view->SelectedMI->trigger();
    EXPECT_EQ(video->GetScreenMemory(), selected);
    EXPECT_EQ(Settings->VideoPage.load(), 0);
    // "Selected" again changes nothing.
    view->SelectedMI->trigger();
    EXPECT_EQ(video->GetScreenMemory(), selected);
}

TEST_F(ScreenView, TheFixedVideoPagesAreOfferedOnlyInThe128KModel)
{
    Settings->Model = 1;
    Computer = std::make_unique<TComputer>(Host.Services());
    g_IDE.Init(&Owner, Computer.get());
    TScreenF* view = Open();
    view->ScreenPMPopup();
    EXPECT_FALSE(view->PrimaryMI->isEnabled());
    EXPECT_FALSE(view->SecondaryMI->isEnabled());
    EXPECT_TRUE(view->SelectedMI->isEnabled());
    const u8* shown = Computer->VideoCard->GetScreenMemory();
    view->SetVideoPage(7);
    EXPECT_EQ(Computer->VideoCard->GetScreenMemory(), shown);
    EXPECT_EQ(Settings->VideoPage.load(), 0);
}

TEST_F(ScreenView, ARightPressOpensTheMenuWithoutActivatingTheView)
{
    TScreenF* first = Open();
    TScreenF* second = Open();
    TFramesF* firstWindow = first->GetRootForm();
    TFramesF* secondWindow = second->GetRootForm();
    ASSERT_TRUE(ActivateAndWait(secondWindow));
    ASSERT_TRUE(second->IsActive());
    ASSERT_FALSE(first->IsActive());

    Press(first->ScreenPB, GlobalCentre(first->ScreenPB), Qt::RightButton);
    Settle();
    EXPECT_TRUE(first->ScreenPM->isVisible());
    first->ScreenPM->close();
    Settle();
    EXPECT_FALSE(firstWindow->Active);
    EXPECT_FALSE(first->IsActive());
    EXPECT_TRUE(second->IsActive());

    Press(first->ScreenPB, GlobalCentre(first->ScreenPB), Qt::LeftButton);
    Release(first->ScreenPB, GlobalCentre(first->ScreenPB), Qt::LeftButton);
    for (int i = 0; i < 50 && !first->IsActive(); ++i)
        Settle();
    EXPECT_TRUE(first->IsActive());
    EXPECT_FALSE(second->IsActive());
}

TEST_F(ScreenView, TheActiveViewHandsTheHostKeyboardToTheMachine)
{
    TKeyBuffer keys;
    TKeyThread keyThread(Computer.get(), &keys, Host.Services(), [] {});
    g_KeyThread = &keyThread;
    TScreenF* view = Open();
    // Opening it made it its window's active view.
    EXPECT_TRUE(keyThread.IsScreenViewEnabled());
    view->Deactivate();
    EXPECT_FALSE(keyThread.IsScreenViewEnabled());
    view->Activate();
    EXPECT_TRUE(keyThread.IsScreenViewEnabled());
    // A view that goes while it has the keyboard gives it back.
    g_IDE.CloseAll();
    Settle();
    EXPECT_FALSE(keyThread.IsScreenViewEnabled());
    g_KeyThread = nullptr;
}

TEST_F(ScreenView, ADestroyedViewIsNoLongerTheDisplay)
{
    TScreenF* first = Open();
    TScreenF* second = Open();
    g_Display = second;
    // The older one goes: the newer stays shown.
    first->GetFrame()->Close();
    Settle();
    EXPECT_EQ(g_Display, second);
    second->GetFrame()->Close();
    Settle();
    EXPECT_EQ(g_Display, nullptr);
}

TEST_F(ScreenView, UpdateViewDrawsTheFrameUpToTheProcessor)
{
    TScreenF* view = Open();
    // A few thousand instructions of the ROM, then a refresh: the paper
    // position follows the processor's T-state.
    for (int i = 0; i < 5000; ++i)
        Computer->Step();
    const u64 before = Surface().GetSerial();
    view->UpdateView();
    EXPECT_GT(Surface().GetSerial(), before);
}
