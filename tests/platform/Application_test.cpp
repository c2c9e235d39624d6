// The application's services: the exception guard, the notify backstop,
// posting work to the user-interface thread, message boxes from any thread,
// and the idle signal.
#include "platform/Application.h"
#include "platform/Dialog_services.h"
#include "tests/shell/Qt_test_app.h"

#include "core/Types.h"

#include <QElapsedTimer>
#include <QWidget>

#include <atomic>
#include <thread>

namespace {

// Runs the event loop until the condition holds or a second passes.
bool PumpUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 1000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// A widget whose handler throws our text error.
class TThrowingWidget : public QWidget {
protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::User)
            throw TTextError("Too many ports in device!");
        return QWidget::event(event);
    }
};

} // namespace

TEST(Application, IsTheRunningApplicationObject)
{
    ASSERT_NE(TApplication::Instance(), nullptr);
    EXPECT_TRUE(TApplication::Instance()->OnUiThread());
}

TEST(Application, GuardShowsTheErrorAndReturns)
{
    TScriptedMessageBoxes boxes;
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Quorvane"));
    int after = 0;
    auto handler = Guard([&](int value) {
        if (value < 0)
            throw TTextError("Can't open file for read.");
        after = value;
    });
    handler(5);
    handler(-1);
    EXPECT_EQ(after, 5);
    ASSERT_EQ(boxes.Shown().size(), 1u);
    EXPECT_EQ(boxes.Shown()[0].Caption, QStringLiteral("Quorvane"));
    EXPECT_EQ(boxes.Shown()[0].Text, QStringLiteral("Can't open file for read."));
    EXPECT_EQ(boxes.Shown()[0].Icon, TMessageIcon::Error);

    // A handler that takes nothing accepts a signal's arguments too.
    int calls = 0;
    auto noArguments = Guard([&] { ++calls; });
    noArguments(true);
    EXPECT_EQ(calls, 1);
    // Anything else thrown shows with an empty text.
    Guard([] { throw 42; })();
    ASSERT_EQ(boxes.Shown().size(), 2u);
    EXPECT_TRUE(boxes.Shown()[1].Text.isEmpty());
}

TEST(Application, NotifyCatchesWhatEscapesAHandlerAndShowsItLater)
{
    TScriptedMessageBoxes boxes;
    TThrowingWidget widget;
    QEvent event(QEvent::User);
    EXPECT_FALSE(QApplication::sendEvent(&widget, &event));
    EXPECT_TRUE(boxes.Shown().empty()) << "not shown inside the failing event";
    ASSERT_TRUE(PumpUntil([&] { return !boxes.Shown().empty(); }));
    EXPECT_EQ(boxes.Shown()[0].Text, QStringLiteral("Too many ports in device!"));
}

TEST(Application, PostedWorkRunsLaterInOrderFromAnyThread)
{
    std::vector<int> order;
    TApplication* app = TApplication::Instance();
    app->PostToUi([&] { order.push_back(1); });
    app->PostToUi([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty()) << "never inside the call";
    std::atomic<bool> onUi{true};
    std::thread worker([&] {
        onUi = app->OnUiThread();
        app->PostToUi([&] { order.push_back(3); });
    });
    worker.join();
    EXPECT_FALSE(onUi);
    ASSERT_TRUE(PumpUntil([&] { return order.size() == 3; }));
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(Application, PostedWorkThatThrowsIsShown)
{
    TScriptedMessageBoxes boxes;
    TApplication::Instance()->PostToUi([] { throw TTextError("End of file reached."); });
    ASSERT_TRUE(PumpUntil([&] { return !boxes.Shown().empty(); }));
    EXPECT_EQ(boxes.Shown()[0].Text, QStringLiteral("End of file reached."));
}

TEST(Application, MessageBoxFromAWorkerIsPostedAndTheWorkerGoesOn)
{
    TScriptedMessageBoxes boxes;
    TApplication* app = TApplication::Instance();
    std::thread worker([app] { app->ShowMessageBox(" DirectSound Error!", "no device"); });
    worker.join();
    EXPECT_TRUE(boxes.Shown().empty());
    ASSERT_TRUE(PumpUntil([&] { return !boxes.Shown().empty(); }));
    EXPECT_EQ(boxes.Shown()[0].Caption, QStringLiteral(" DirectSound Error!"));
    EXPECT_EQ(boxes.Shown()[0].Text, QStringLiteral("no device"));

    app->ShowMessageBox("File open error", "Unknow file format!");
    ASSERT_EQ(boxes.Shown().size(), 2u) << "modal at once on the user-interface thread";
}

TEST(Application, IdleComesWhenTheLoopRunsOutOfWorkAndKeepsComing)
{
    TApplication* app = TApplication::Instance();
    int idles = 0;
    auto connection = QObject::connect(app, &TApplication::Idle, [&] { ++idles; });
    ASSERT_TRUE(PumpUntil([&] { return idles > 0; }));
    // With nothing else to do, the 100 ms timer still wakes it.
    const int before = idles;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 350)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_GE(idles - before, 2);
    QObject::disconnect(connection);
}

TEST(Application, AnIdleHandlerThatThrowsIsShownAndIdleGoesOn)
{
    TScriptedMessageBoxes boxes;
    TApplication* app = TApplication::Instance();
    int idles = 0;
    auto connection = QObject::connect(app, &TApplication::Idle, [&] {
        if (++idles == 1)
            throw TTextError("idle failed");
    });
    ASSERT_TRUE(PumpUntil([&] { return idles >= 2; }));
    QObject::disconnect(connection);
    ASSERT_FALSE(boxes.Shown().empty());
    EXPECT_EQ(boxes.Shown()[0].Text, QStringLiteral("idle failed"));
}
