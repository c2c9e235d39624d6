// The host keyboard for the key thread: an application-wide event filter
// that watches every key event without consuming it (menus and shortcuts
// keep working) and posts the changes, as PC scan codes, to a key buffer.
//
// Under X11 the key event's native scan code is the X key code, which is the
// Linux evdev code plus 8; evdev codes 1-88 are the PC scan codes themselves,
// and the extended keys (cursor block, keypad Enter and slash, right Control
// and Alt, Pause) have their own codes 0x9C-0xD3. Without a native code (the
// offscreen platform, synthetic events) the Qt key stands in. Auto-repeat is
// dropped. Releases can be lost: when the application loses activation,
// when focus moves between its windows, and when a modal dialog blocks the
// window a release is sent to. At each of those moments the source releases
// the keys it holds down (a key still held counts as up until pressed
// again), so that no key stays down that is not held.
#pragma once

#include "host/Key_source.h"

#include <QObject>

#include <array>

class QKeyEvent;

class TQtKeySource : public QObject, public TKeyBuffer {
    Q_OBJECT
public:
    // Installs the filter on the application, which must exist.
    explicit TQtKeySource(QObject* parent = nullptr);
    ~TQtKeySource() override;

    // The PC scan code of an X11 key code; 0 for none.
    static u8 ScanCodeFromX11(quint32 x11KeyCode);
    // The PC scan code of a Qt key, the keypad told apart by the modifier;
    // 0 for none.
    static u8 ScanCodeFromQtKey(int key, Qt::KeyboardModifiers modifiers);
    // The scan code of the event: the native code when there is one.
    static u8 ScanCodeOf(const QKeyEvent& event);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Releases every key held and starts a new epoch.
    void KeysMayBeLost();

    // A press that Qt offers as a possible shortcut, with the epoch of that
    // moment: when the epoch has moved on by the time the press itself is
    // delivered, a modal dialog ran in between and took its release.
    struct TPressEpoch {
        u32 Epoch = 0;
        bool Valid = false;
    };
    u32 Epoch = 0;
    std::array<TPressEpoch, 256> PressEpochs{};
};
