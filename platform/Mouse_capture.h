// Captures the mouse for a drag and notices when the capture is lost.
//
// A drag that loses the mouse (another widget grabs it, a popup opens, the
// window is hidden) never sees its button released; left alone it would
// keep its outline on the screen for good. The capture is watched while it
// is held, and the owner's callback cancels the drag when it goes.
//
//     TMouseCapture capture([this] { CancelDrag(); });
//     capture.Capture(titleLabel);      // on the press
//     ...
//     capture.Release();                // on the release: no callback
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class QWidget;

class TMouseCapture : public QObject {
public:
    // How often the capture is checked while held.
    static constexpr int WatchIntervalMs = 50;

    explicit TMouseCapture(std::function<void()> onLost);
    ~TMouseCapture() override;

    void Capture(QWidget* widget);
    // Gives the mouse back (when it is still ours); the callback does not run.
    void Release();
    bool IsCaptured() const { return bool(Widget); }
    // While captured: true when the capture still holds; otherwise it ends
    // the capture, runs the callback and gives false. False when not captured.
    bool Check();

private:
    QPointer<QWidget> Widget;
    QTimer Watch;
    std::function<void()> OnLost;
};
