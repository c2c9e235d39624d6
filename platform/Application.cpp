#include "platform/Application.h"

#include "platform/Dialog_services.h"

#include <QAbstractEventDispatcher>
#include <QThread>

TApplication::TApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
    IdleTimer.setInterval(IdleIntervalMs);
    connect(&IdleTimer, &QTimer::timeout, this, &TApplication::EmitIdle);
    IdleTimer.start();
    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread()))
        connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock, this, &TApplication::EmitIdle);
    connect(this, &QGuiApplication::applicationStateChanged, this, &TApplication::StateChanged);
}

TApplication::~TApplication()
{
    IdleTimer.stop();
    if (auto* dispatcher = QAbstractEventDispatcher::instance(thread()))
        disconnect(dispatcher, nullptr, this, nullptr);
}

TApplication* TApplication::Instance()
{
    return qobject_cast<TApplication*>(QCoreApplication::instance());
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        // Shown later: a modal box here could run inside a paint event.
        const std::string text = error.what();
        PostToUi([text] { ShowException(text); });
    } catch (...) {
        PostToUi([] { ShowException(std::string()); });
    }
    return false;
}

void TApplication::PostToUi(std::function<void()> work)
{
    QMetaObject::invokeMethod(this, [work = std::move(work)] { RunGuarded(work); }, Qt::QueuedConnection);
}

bool TApplication::OnUiThread() const
{
    return QThread::currentThread() == thread();
}

void TApplication::ShowMessageBox(const std::string& caption, const std::string& text)
{
    if (!OnUiThread()) {
        PostToUi([this, caption, text] { ShowMessageBox(caption, text); });
        return;
    }
    MessageBoxes().MessageBox(activeWindow(), QString::fromStdString(caption), QString::fromStdString(text),
                              TMessageIcon::Error, TMessageButtons::Ok);
}

void TApplication::ShowException(const std::string& text)
{
    TApplication* app = Instance();
    if (app && !app->OnUiThread()) {
        app->PostToUi([text] { ShowException(text); });
        return;
    }
    QString caption = QGuiApplication::applicationDisplayName();
    if (caption.isEmpty())
        caption = QStringLiteral("Quorvane");
    QWidget* parent = app ? app->activeWindow() : nullptr;
    MessageBoxes().MessageBox(parent, caption, QString::fromStdString(text), TMessageIcon::Error,
                              TMessageButtons::Ok);
}

void TApplication::EmitIdle()
{
    // A handler that runs a modal box would reach the idle point again
    // inside itself.
    if (InIdle)
        return;
    InIdle = true;
    RunGuarded([this] { emit Idle(); });
    InIdle = false;
}

void TApplication::StateChanged(Qt::ApplicationState state)
{
    const bool active = state == Qt::ApplicationActive;
    if (active == Active)
        return;
    Active = active;
    RunGuarded([this, active] {
        if (active)
            emit Activated();
        else
            emit Deactivated();
    });
}

bool RunGuarded(const std::function<void()>& work)
{
    try {
        if (work)
            work();
        return true;
    } catch (const std::exception& error) {
        TApplication::ShowException(error.what());
    } catch (...) {
        TApplication::ShowException(std::string());
    }
    return false;
}
