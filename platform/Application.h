// The application object: Qt's application with the services the rest of
// the program expects of it.
//
// - No exception crosses the Qt event loop. Every handler that can throw is
//   connected through Guard(), which shows our text error in the
//   application's exception display and returns; notify() catches whatever
//   still escapes, as a last resort.
// - Idle(): each time the event loop runs out of work, and at least every
//   100 ms, for work that must see the state after every burst of events
//   (the frames-per-second caption).
// - Activated() / Deactivated(): the application as a whole gained or lost
//   the user's focus.
// - TUiPoster: PostToUi queues work for the user-interface thread from any
//   thread.
// - TMessageService: a message box, modal on the user-interface thread and
//   posted from any other, through the injectable message-box service.
//
//     TApplication app(argc, argv);
//     THostServices services{&app, &app, &titleSink};
//     connect(RunA, &QAction::triggered, this, Guard([this] { RunAExecute(); }));
#pragma once

#include "core/Host_services.h"

#include <QApplication>
#include <QTimer>

#include <exception>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>

class TApplication : public QApplication, public TUiPoster, public TMessageService {
    Q_OBJECT

public:
    static constexpr int IdleIntervalMs = 100;

    TApplication(int& argc, char** argv);
    ~TApplication() override;

    // The running application object when it is a TApplication, else null.
    static TApplication* Instance();

    bool notify(QObject* receiver, QEvent* event) override;

    void PostToUi(std::function<void()> work) override;
    bool OnUiThread() const override;
    void ShowMessageBox(const std::string& caption, const std::string& text) override;

    // The application's exception display: an error box captioned with the
    // application's title. Any thread (posted when not on the UI thread).
    static void ShowException(const std::string& text);

signals:
    void Idle();
    void Activated();
    void Deactivated();

private:
    void EmitIdle();
    void StateChanged(Qt::ApplicationState state);

    QTimer IdleTimer;
    bool Active = false;
    bool InIdle = false;
};

// Runs the work and shows any exception it throws in the exception display.
// True when it ran to its end.
bool RunGuarded(const std::function<void()>& work);

// Calls the handler with the arguments, or with none when it takes none.
// Both are parameters of this one template, so the branch not taken is
// never instantiated.
template <class THandler, class... TArgs>
void CallWithArgumentsOrNone(THandler& handler, TArgs&&... args)
{
    if constexpr (std::is_invocable_v<THandler&, TArgs&&...>)
        handler(std::forward<TArgs>(args)...);
    else
        handler();
}

// Wraps a handler so that no exception leaves it: what it throws is shown
// in the exception display. The wrapper takes whatever arguments the signal
// passes and forwards them, or drops them all when the handler takes none.
// Qt probes a slot with fewer and fewer of the signal's arguments; the
// constraint and the declared return type answer those probes without
// instantiating the body for argument lists the handler cannot take.
template <class THandler>
auto Guard(THandler handler)
{
    return [handler = std::move(handler)]<class... TArgs>(TArgs&&... args) mutable -> void
               requires std::is_invocable_v<THandler&, TArgs&&...> || std::is_invocable_v<THandler&>
    {
        try {
            CallWithArgumentsOrNone(handler, std::forward<TArgs>(args)...);
        } catch (const std::exception& error) {
            TApplication::ShowException(error.what());
        } catch (...) {
            TApplication::ShowException(std::string());
        }
    };
}
