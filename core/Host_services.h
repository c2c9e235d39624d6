// The few services of the host application that the emulator core calls.
// platform/ implements them over Qt; tests use the fakes in tests/support.
// The core never includes a Qt header: it reaches the user interface only
// through these interfaces.
#pragma once

#include <functional>
#include <string>

// Hands work to the user-interface thread: the end of a run, a message
// raised on a worker thread, a repaint after a frame was published.
class TUiPoster {
public:
    virtual ~TUiPoster() = default;

    // Queues the work to run later on the user-interface thread, in the
    // order posted, and returns at once; callable from any thread, the UI
    // thread included (the work then runs on a later turn of the loop, never
    // inside this call). Work still queued when the application shuts down
    // is dropped, so it must not be the only owner of something to release.
    virtual void PostToUi(std::function<void()> work) = 0;
    // True on the user-interface thread, where the caller may act at once.
    virtual bool OnUiThread() const = 0;
};

// Tells the user something in a message box.
class TMessageService {
public:
    virtual ~TMessageService() = default;

    // On the user-interface thread: a modal box with the caption and the
    // text, returning when the user closes it. On any other thread: the box
    // is posted to the user-interface thread and the call returns at once,
    // so a worker (the run thread) never waits for the user.
    virtual void ShowMessageBox(const std::string& caption, const std::string& text) = 0;
};

// The application window's caption, which tells whether the machine runs:
// "Quorvane - Run" while it does, "Quorvane - Debug" after a run. Called on
// the user-interface thread.
class TTitleSink {
public:
    virtual ~TTitleSink() = default;

    virtual void SetTitle(const std::string& title) = 0;
};

// The services handed to the objects that need them (the computer, the
// sound output). None is owned here: main (or a test, through
// TFakeHostServices) sets all three and keeps them alive longer than
// every user.
struct THostServices {
    TUiPoster* UiPoster = nullptr;
    TMessageService* Messages = nullptr;
    TTitleSink* Title = nullptr;
};
