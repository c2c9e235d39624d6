#include "platform/Qt_key_source.h"

#include <QApplicationStateChangeEvent>
#include <QCoreApplication>
#include <QKeyEvent>

namespace {

// Linux evdev codes of the extended keys and their PC scan codes.
struct TExtendedKey {
    quint32 Evdev;
    u8 ScanCode;
};
constexpr TExtendedKey ExtendedKeys[] = {
    {96, 0x9C},    // KEY_KPENTER
    {97, 0x9D},    // KEY_RIGHTCTRL
    {98, 0xB5},    // KEY_KPSLASH
    {99, 0xB7},    // KEY_SYSRQ (Print Screen)
    {100, 0xB8},   // KEY_RIGHTALT
    {102, 0xC7},   // KEY_HOME
    {103, 0xC8},   // KEY_UP
    {104, 0xC9},   // KEY_PAGEUP
    {105, 0xCB},   // KEY_LEFT
    {106, 0xCD},   // KEY_RIGHT
    {107, 0xCF},   // KEY_END
    {108, 0xD0},   // KEY_DOWN
    {109, 0xD1},   // KEY_PAGEDOWN
    {110, 0xD2},   // KEY_INSERT
    {111, 0xD3},   // KEY_DELETE
    {119, 0xC5},   // KEY_PAUSE
};

constexpr quint32 X11Offset = 8;   // X key code = evdev code + 8
constexpr quint32 LastDirectEvdev = 88;

}  // namespace

TQtKeySource::TQtKeySource(QObject* parent)
    : QObject(parent)
{
    QCoreApplication::instance()->installEventFilter(this);
}

TQtKeySource::~TQtKeySource()
{
    if (QCoreApplication* application = QCoreApplication::instance())
        application->removeEventFilter(this);
}

u8 TQtKeySource::ScanCodeFromX11(quint32 x11KeyCode)
{
    if (x11KeyCode <= X11Offset)
        return 0;
    const quint32 evdev = x11KeyCode - X11Offset;
    if (evdev <= LastDirectEvdev)
        return static_cast<u8>(evdev);
    for (const TExtendedKey& key : ExtendedKeys)
        if (key.Evdev == evdev)
            return key.ScanCode;
    return 0;
}

u8 TQtKeySource::ScanCodeFromQtKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::KeypadModifier) {
        switch (key) {
        case Qt::Key_7: case Qt::Key_Home: return 0x47;
        case Qt::Key_8: case Qt::Key_Up: return 0x48;
        case Qt::Key_9: case Qt::Key_PageUp: return 0x49;
        case Qt::Key_Minus: return 0x4A;
        case Qt::Key_4: case Qt::Key_Left: return 0x4B;
        case Qt::Key_5: case Qt::Key_Clear: return 0x4C;
        case Qt::Key_6: case Qt::Key_Right: return 0x4D;
        case Qt::Key_Plus: return 0x4E;
        case Qt::Key_1: case Qt::Key_End: return 0x4F;
        case Qt::Key_2: case Qt::Key_Down: return 0x50;
        case Qt::Key_3: case Qt::Key_PageDown: return 0x51;
        case Qt::Key_0: case Qt::Key_Insert: return 0x52;
        case Qt::Key_Period: case Qt::Key_Comma: case Qt::Key_Delete: return 0x53;
        case Qt::Key_Asterisk: return 0x37;
        case Qt::Key_Slash: return 0xB5;
        case Qt::Key_Enter: return 0x9C;
        default: break;
        }
    }
    if (key >= Qt::Key_1 && key <= Qt::Key_9)
        return static_cast<u8>(0x02 + (key - Qt::Key_1));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F10)
        return static_cast<u8>(0x3B + (key - Qt::Key_F1));
    // The letters by their place on a US keyboard.
    static constexpr u8 Letters[26] = {
        0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,   // A-M
        0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C,   // N-Z
    };
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return Letters[key - Qt::Key_A];
    switch (key) {
    case Qt::Key_Escape: return 0x01;
    // Shifted symbols of a US keyboard come back to their key, so that a
    // press and its release name the same key whatever Shift did between.
    case Qt::Key_Exclam: return 0x02;
    case Qt::Key_At: return 0x03;
    case Qt::Key_NumberSign: return 0x04;
    case Qt::Key_Dollar: return 0x05;
    case Qt::Key_Percent: return 0x06;
    case Qt::Key_AsciiCircum: return 0x07;
    case Qt::Key_Ampersand: return 0x08;
    case Qt::Key_Asterisk: return 0x09;
    case Qt::Key_ParenLeft: return 0x0A;
    case Qt::Key_0: case Qt::Key_ParenRight: return 0x0B;
    case Qt::Key_Minus: case Qt::Key_Underscore: return 0x0C;
    case Qt::Key_Equal: case Qt::Key_Plus: return 0x0D;
    case Qt::Key_Backspace: return 0x0E;
    case Qt::Key_Tab: case Qt::Key_Backtab: return 0x0F;
    case Qt::Key_BracketLeft: case Qt::Key_BraceLeft: return 0x1A;
    case Qt::Key_BracketRight: case Qt::Key_BraceRight: return 0x1B;
    case Qt::Key_Return: return 0x1C;
    case Qt::Key_Control: return 0x1D;
    case Qt::Key_Semicolon: case Qt::Key_Colon: return 0x27;
    case Qt::Key_Apostrophe: case Qt::Key_QuoteDbl: return 0x28;
    case Qt::Key_QuoteLeft: case Qt::Key_AsciiTilde: return 0x29;
    case Qt::Key_Shift: return 0x2A;
    case Qt::Key_Backslash: case Qt::Key_Bar: return 0x2B;
    case Qt::Key_Comma: case Qt::Key_Less: return 0x33;
    case Qt::Key_Period: case Qt::Key_Greater: return 0x34;
    case Qt::Key_Slash: case Qt::Key_Question: return 0x35;
    case Qt::Key_Alt: return 0x38;
    case Qt::Key_Space: return 0x39;
    case Qt::Key_CapsLock: return 0x3A;
    case Qt::Key_NumLock: return 0x45;
    case Qt::Key_ScrollLock: return 0x46;
    case Qt::Key_F11: return 0x57;
    case Qt::Key_F12: return 0x58;
    case Qt::Key_Enter: return 0x9C;
    case Qt::Key_AltGr: return 0xB8;
    case Qt::Key_Print: return 0xB7;
    case Qt::Key_Pause: return 0xC5;
    case Qt::Key_Home: return 0xC7;
    case Qt::Key_Up: return 0xC8;
    case Qt::Key_PageUp: return 0xC9;
    case Qt::Key_Left: return 0xCB;
    case Qt::Key_Right: return 0xCD;
    case Qt::Key_End: return 0xCF;
    case Qt::Key_Down: return 0xD0;
    case Qt::Key_PageDown: return 0xD1;
    case Qt::Key_Insert: return 0xD2;
    case Qt::Key_Delete: return 0xD3;
    default: return 0;
    }
}

u8 TQtKeySource::ScanCodeOf(const QKeyEvent& event)
{
    if (const u8 code = ScanCodeFromX11(event.nativeScanCode()))
        return code;
    return ScanCodeFromQtKey(event.key(), event.modifiers());
}

void TQtKeySource::KeysMayBeLost()
{
    ++Epoch;
    ReleaseAll();
}

bool TQtKeySource::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::ShortcutOverride: {
        // Qt asks whether a press is a shortcut before it delivers the
        // press; a shortcut of a view may run a modal dialog right here.
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (!key->isAutoRepeat())
            if (const u8 code = ScanCodeOf(*key))
                PressEpochs[code] = {Epoch, true};
        break;
    }
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        // One key event passes the filter several times on its way (the
        // window, the focus widget, its parents); the buffer counts each
        // change once.
        const auto* key = static_cast<const QKeyEvent*>(event);
        if (key->isAutoRepeat())
            break;
        const u8 code = ScanCodeOf(*key);
        if (!code)
            break;
        const TPressEpoch& asked = PressEpochs[code];
        if (event->type() == QEvent::KeyRelease)
            PostKey(code, false);
        else if (!asked.Valid || asked.Epoch == Epoch)
            PostKey(code, true);
        // Otherwise the press comes after the modal dialog that its shortcut
        // opened, and its release went to that dialog or was lost: the key
        // cannot be known to be held.
        break;
    }
    // A modal dialog that opens blocks the windows behind it: Qt drops the
    // key events the window system still sends them, among them the release
    // of the key that opened the dialog. Focus moving to another of our
    // windows, or away from the application, can likewise leave a release
    // unseen.
    case QEvent::WindowBlocked:
    case QEvent::WindowUnblocked:
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
    case QEvent::ApplicationDeactivate:
        KeysMayBeLost();
        break;
    case QEvent::ApplicationStateChange:
        if (static_cast<const QApplicationStateChangeEvent*>(event)->applicationState() != Qt::ApplicationActive)
            KeysMayBeLost();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
