// TScreenF: the tool view that shows the emulated picture. It paints a
// chosen rectangle of the renderer's published frame (the front copy of
// host/Indexed_surface.h) at zoom 1 to 3, offers the shared display options
// of g_Settings in its popup menu, blinks a beam-position marker while the
// machine is stopped, and hands the host keyboard to the emulated machine
// while it is the active view.
//
// It is the computer's screen sink (TDisplay): the main window records the
// newest screen view in g_Display, and the computer asks it to show each
// published frame. Painting happens only on the user-interface thread, and
// only where the picture changed (host/Zoomed_picture.h): a stopped machine
// or a still screen costs no paint.
//
// "Stopped" below means that no run thread is in its loop. While a run is
// active the view changes only settings and raises requests (renderer
// changes, the video chip's rebuild) that the stepping thread serves at the
// next frame end; the machine and the renderer are touched directly only
// when stopped or inside the computer's pause guard.
#pragma once

#include "core/Display.h"
#include "core/Types.h"
#include "host/Zoomed_picture.h"
#include "shell/View_frame.h"

#include <QRect>
#include <QRegion>
#include <QSize>

#include <atomic>

class QAction;
class QActionGroup;
class QMenu;
class QTimer;
class TComputer;

class TScreenF : public TViewF, public TDisplay {
    Q_OBJECT

public:
    static constexpr int MinZoom = 1;
    static constexpr int MaxZoom = 3;
    static constexpr int TimerIntervalMs = 20;
    // The tool window's frame around the picture: 4-pixel sizing borders
    // and an 18-pixel caption.
    static constexpr int FrameWidth = 8;
    static constexpr int FrameHeight = 26;

    enum TDisplayArea { AreaFullRaster = 0, AreaFullBorder = 1, AreaTVScreen = 2, AreaPaperOnly = 3 };

    TScreenF(QWidget* owner, TComputer* computer);
    // Leaves g_Display when it names this view.
    ~TScreenF() override;

    // --- TDisplay: show the newest published frame (schedules a paint) ---
    void Blit() override;

    // --- TViewF ---
    // Draws the current frame up to the processor's T-state, then shows it.
    void UpdateView() override;
    // The emulated keyboard follows the host keyboard while this view is
    // the active one.
    void Activate() override;
    void Deactivate() override;

    // Source rectangle and zoomed size for the current display area and zoom.
    void UpdateGeometry();
    // The 20 ms tick: flash phase (RealTime mode) and beam marker, while
    // stopped.
    void PositionTTimer();
    // Sets the popup menu's marks from the settings.
    void ScreenPMPopup();

    // The popup menu's operations (the menu's items call them).
    void SetZoom(int zoom);
    void SetGrayscale(bool grayscale);
    void SetDisplayArea(int area);
    void ToggleRayPosition();
    void ToggleAttributes();
    void ToggleScreen();
    void ToggleWideBorder();
    void ToggleBorderShading();
    void SetVideoPage(u8 page);
    void SetDebugMode(bool realTime);
    void ToggleInterruptPulse();
    void ToggleSyncPulses();

    // A left-button press on the picture: this view's tool window comes to
    // the front and becomes active, and this view becomes its active view.
    void ScreenPBMouseDown(Qt::MouseButton button, const QPoint& global);

    // --- Inspection (tests) ---
    int GetZoom() const { return Zoom; }
    QRect GetSourceRect() const { return QRect(SourceX, SourceY, SourceWidth, SourceHeight); }
    QSize GetZoomedSize() const { return QSize(ZoomedWidth, ZoomedHeight); }
    u8 GetFlashPhase() const { return FlashPhase; }
    u8 GetBlinkCounter() const { return BlinkCounter; }
    i32 GetFlashTickCounter() const { return FlashTickCounter; }
    QWidget* GetPaintBox() const { return ScreenPB; }
    QMenu* GetPopupMenu() const { return ScreenPM; }
    QTimer* GetTimer() const { return PositionT; }

    // Components, named as the form names them.
    QWidget* ScreenPB;
    QMenu* ScreenPM;
    QTimer* PositionT;
    QAction* Zoom1x1MI;
    QAction* Zoom1x2MI;
    QAction* Zoom1x3MI;
    QAction* ColorMI;
    QAction* GrayscaleMI;
    QAction* FullRasterMI;
    QAction* FullBorderMI;
    QAction* TVScreenMI;
    QAction* PaperOnlyMI;
    QAction* RayPositionMI;
    QAction* AttributesMI;
    QAction* ScreenMI;
    QAction* WideBorderMI;
    QAction* BorderShadingMI;
    QAction* SelectedMI;
    QAction* PrimaryMI;
    QAction* SecondaryMI;
    QAction* RayTraceMI;
    QAction* RealTimeMI;
    QAction* InterruptPulseMI;
    QAction* SyncPulsesMI;

private:
    friend class TScreenPaintBox;

    // Paints the picture where the paint event asks for it.
    void ScreenPBPaint(const QRegion& region);
    // Brings Picture up to the published frame; returns the part of the
    // paint box that now shows something else.
    QRect RefreshPicture();
    void BuildPopupMenu();
    // The machine is stopped: no run thread in its loop. A run whose stop
    // was requested is ended first (its notification runs now).
    bool WaitStopped();
    // Resizes the tool window to the picture after a zoom or area change.
    void FitWindow();
    // Toggles a display byte of the settings; returns the new value.
    static bool Toggle(std::atomic<u8>& setting);

    TComputer* Computer;
    int Zoom;
    // This view switched the key thread's screen-view flag on.
    bool KeyboardCaptured = false;
    u8 BlinkCounter = 0;
    u8 FlashPhase = 0xFF;
    i32 SourceWidth = 0;
    i32 SourceHeight = 0;
    i32 ZoomedWidth = 0;
    i32 ZoomedHeight = 0;
    i32 SourceX = 0;
    i32 SourceY = 0;
    i32 FlashTickCounter = 0;
    // The published frame's source rectangle in 32-bit colours at the zoom,
    // converted where it changed.
    TZoomedPicture Picture;
};

// Registers the screen view as view kind 4 with the view manager.
void RegisterScreenView();
