// The application object of a Qt test program, and ways to drive widgets.
//
// Including this header is enough: a gtest environment builds a
// TApplication on the offscreen platform before the first test and deletes
// it after the last.
#pragma once

#include "platform/Application.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>

// Readable QString values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

class TQtTestApp : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "quorvane-test";
        static char* argv[] = {name, nullptr};
        App = std::make_unique<TApplication>(argc, argv);
        // The offscreen platform has no stacking order and says so each time
        // a window is raised.
        Previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            if (!text.contains(QStringLiteral("does not support raise")))
                Previous(type, context, text);
        });
    }
    void TearDown() override
    {
        qInstallMessageHandler(Previous);
        App.reset();
    }

private:
    std::unique_ptr<TApplication> App;
    static inline QtMessageHandler Previous = nullptr;
};

inline ::testing::Environment* const QtTestAppEnvironment = ::testing::AddGlobalTestEnvironment(new TQtTestApp);

// Runs posted events (layouts, activation, deferred deletions) until none
// are left.
inline void Settle()
{
    for (int i = 0; i < 5; ++i) {
        QApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// Sends a mouse event to the widget as if the cursor were at the global
// point.
inline void SendMouse(QWidget* widget, QEvent::Type type, const QPoint& global,
                      Qt::MouseButton button = Qt::LeftButton, Qt::MouseButtons buttons = Qt::LeftButton)
{
    const QPointF local = widget->mapFromGlobal(QPointF(global));
    QMouseEvent event(type, local, QPointF(global), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

inline void Press(QWidget* widget, const QPoint& global, Qt::MouseButton button = Qt::LeftButton)
{
    SendMouse(widget, QEvent::MouseButtonPress, global, button, button);
}

inline void MoveTo(QWidget* widget, const QPoint& global, Qt::MouseButtons buttons = Qt::LeftButton)
{
    SendMouse(widget, QEvent::MouseMove, global, Qt::NoButton, buttons);
}

inline void Release(QWidget* widget, const QPoint& global, Qt::MouseButton button = Qt::LeftButton)
{
    SendMouse(widget, QEvent::MouseButtonRelease, global, button, Qt::NoButton);
}

// The centre of a widget in global coordinates.
inline QPoint GlobalCentre(const QWidget* widget)
{
    return widget->mapToGlobal(widget->rect().center());
}

// Activates the window and waits until Qt reports it active.
inline bool ActivateAndWait(QWidget* window)
{
    window->raise();
    window->activateWindow();
    for (int i = 0; i < 50 && !window->isActiveWindow(); ++i)
        Settle();
    return window->isActiveWindow();
}
