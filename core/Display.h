// The screen view that follows the running machine, seen from the core.
//
// The core never paints: at each frame end the thread that steps the machine
// has the renderer draw the frame and publish it (a front copy under a short
// mutex, see host/Indexed_surface.h), then the computer asks the display to
// show it. On the user-interface thread (Trace Into) it asks at once; from
// the run thread it posts one coalesced repaint to the user-interface thread
// and goes on. So the display is called only on the user-interface thread,
// and g_Display is read and written only there.
//
// The GUI's screen view implements TDisplay; tests use a fake.
#pragma once

class TDisplay {
public:
    virtual ~TDisplay() = default;

    // Shows the renderer's newest published picture (its front copy). On the
    // user-interface thread only; it may paint at once or schedule a paint.
    virtual void Blit() = 0;
};

// The screen view shown, or nullptr. The main window sets it when a screen
// view opens; the view calls ForgetDisplay from its destructor. User-interface
// thread only.
extern TDisplay* g_Display;

// Clears g_Display when it names this display (a newer view may have taken
// its place, and then stays).
void ForgetDisplay(const TDisplay* display);
