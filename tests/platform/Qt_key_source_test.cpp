// The Qt key source on the offscreen platform: key events sent to widgets
// reach the keyboard device in order while the widgets still get them,
// auto-repeat is dropped, deactivation releases the held keys, a release
// lost to a modal dialog leaves no key down, and key codes
// become PC scan codes (X key codes as the xkb "evdev" keycodes name them;
// Qt keys when there is no native code).
#include "platform/Qt_key_source.h"

#include "host/Direct_input.h"
#include "tests/shell/Qt_test_app.h"
#include "tests/support/Fake_host_services.h"

#include <QApplicationStateChangeEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

#include <functional>

#include <vector>

namespace {

// Counts the key events it gets; optionally passes them on to its parent.
class TKeyWidget : public QWidget {
public:
    using QWidget::QWidget;
    int Presses = 0;
    int Releases = 0;
    bool Ignore = false;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        ++Presses;
        event->setAccepted(!Ignore);
    }
    void keyReleaseEvent(QKeyEvent* event) override
    {
        ++Releases;
        event->setAccepted(!Ignore);
    }
};

// Opens a modal dialog from its shortcut Ctrl+G, as a view's action does:
// inside Qt's question whether the press is a shortcut, before the press
// itself is delivered.
class TShortcutWidget : public TKeyWidget {
public:
    using TKeyWidget::TKeyWidget;
    std::function<void()> OnShortcut;

protected:
    bool event(QEvent* event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_G && key->modifiers() == Qt::ControlModifier) {
                key->accept();
                OnShortcut();
                return true;
            }
        }
        return TKeyWidget::event(event);
    }
};

// X key codes (xkb "evdev" keycodes).
constexpr quint32 AC01 = 38;   // A
constexpr quint32 LFSH = 50;   // left Shift
constexpr quint32 RTSH = 62;   // right Shift
constexpr quint32 XUP = 111;   // Up

void Send(QWidget& widget, QEvent::Type type, quint32 x11Code, int key = 0, bool autoRepeat = false,
          Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QKeyEvent event(type, key, modifiers, x11Code, 0, 0, QString(), autoRepeat);
    QCoreApplication::sendEvent(&widget, &event);
}

class QtKeySourceTest : public ::testing::Test {
protected:
    QtKeySourceTest()
        : Input(&Source, Host.Services(), nullptr)
    {
    }

    std::vector<TKeyEvent> Read()
    {
        std::vector<TKeyEvent> events;
        for (;;) {
            Input.ReadBufferedData();
            u8 code = 0;
            bool pressed = false;
            bool any = false;
            while (Input.NextKeyEvent(code, pressed)) {
                events.push_back({code, pressed});
                any = true;
            }
            if (!any)
                return events;
        }
    }

    TFakeHostServices Host;
    TQtKeySource Source;
    TDirectInput Input;
    TKeyWidget Widget;
};

TEST_F(QtKeySourceTest, KeyEventsReachTheDeviceInOrderAndTheWidgetToo)
{
    ASSERT_TRUE(Input.IsReady());
    Send(Widget, QEvent::KeyPress, AC01, Qt::Key_A);
    Send(Widget, QEvent::KeyPress, LFSH, Qt::Key_Shift);
    Send(Widget, QEvent::KeyRelease, AC01, Qt::Key_A);
    Send(Widget, QEvent::KeyPress, XUP, Qt::Key_Up);
    Send(Widget, QEvent::KeyRelease, XUP, Qt::Key_Up);
    Send(Widget, QEvent::KeyPress, RTSH, Qt::Key_Shift);
    const std::vector<TKeyEvent> expected = {
        {0x1E, true}, {0x2A, true}, {0x1E, false}, {0xC8, true}, {0xC8, false}, {0x36, true},
    };
    EXPECT_EQ(Read(), expected);
    EXPECT_EQ(Widget.Presses, 4);
    EXPECT_EQ(Widget.Releases, 2);
    EXPECT_TRUE(Source.IsDown(0x2A));
    EXPECT_TRUE(Source.IsDown(0x36));
    EXPECT_EQ(Host.Messages.Count(), 0u);
}

TEST_F(QtKeySourceTest, AnEventPassedOnToTheParentCountsOnce)
{
    TKeyWidget parent;
    auto* child = new TKeyWidget(&parent);
    child->Ignore = true;
    Send(*child, QEvent::KeyPress, AC01, Qt::Key_A);
    EXPECT_EQ(parent.Presses, 1) << "the event travelled to the parent";
    Send(*child, QEvent::KeyRelease, AC01, Qt::Key_A);
    EXPECT_EQ(Read(), (std::vector<TKeyEvent>{{0x1E, true}, {0x1E, false}}));
}

TEST_F(QtKeySourceTest, AutoRepeatIsDropped)
{
    Send(Widget, QEvent::KeyPress, AC01, Qt::Key_A);
    for (int i = 0; i < 3; ++i) {
        Send(Widget, QEvent::KeyRelease, AC01, Qt::Key_A, true);
        Send(Widget, QEvent::KeyPress, AC01, Qt::Key_A, true);
    }
    Send(Widget, QEvent::KeyRelease, AC01, Qt::Key_A);
    EXPECT_EQ(Read(), (std::vector<TKeyEvent>{{0x1E, true}, {0x1E, false}}));
    EXPECT_EQ(Widget.Presses, 4) << "the widget still sees the repeats";
}

TEST_F(QtKeySourceTest, DeactivationReleasesTheHeldKeys)
{
    Send(Widget, QEvent::KeyPress, LFSH, Qt::Key_Shift);
    Send(Widget, QEvent::KeyPress, AC01, Qt::Key_A);
    (void)Read();
    QEvent deactivate(QEvent::ApplicationDeactivate);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &deactivate);
    EXPECT_EQ(Read(), (std::vector<TKeyEvent>{{0x1E, false}, {0x2A, false}}));
    EXPECT_FALSE(Source.IsDown(0x1E));

    Send(Widget, QEvent::KeyPress, XUP, Qt::Key_Up);
    QApplicationStateChangeEvent inactive(Qt::ApplicationInactive);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &inactive);
    EXPECT_EQ(Read(), (std::vector<TKeyEvent>{{0xC8, true}, {0xC8, false}}));
    // Becoming active again releases nothing more.
    QApplicationStateChangeEvent active(Qt::ApplicationActive);
    QCoreApplication::sendEvent(QCoreApplication::instance(), &active);
    EXPECT_TRUE(Read().empty());
}

// QTest hands its key events to Qt as the platform plugin does: a window
// that a modal dialog blocks never gets them, nor does any event filter.
TEST_F(QtKeySourceTest, AReleaseLostBehindAModalDialogLeavesNoKeyDown)
{
    Widget.show();
    ASSERT_TRUE(ActivateAndWait(&Widget));
    QWindow* window = Widget.windowHandle();
    // With a modifier QTest presses the modifier's key first, and releases
    // it after the key.
    QTest::keyPress(window, Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(Widget.Presses, 2);
    EXPECT_TRUE(Source.IsDown(0x22));

    QDialog dialog(&Widget);
    dialog.setModal(true);
    dialog.show();
    QTest::keyRelease(window, Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(Widget.Releases, 0) << "the dialog blocks the window";
    EXPECT_EQ(Read(), (std::vector<TKeyEvent>{{0x1D, true}, {0x22, true}, {0x1D, false}, {0x22, false}}));
    dialog.hide();
    EXPECT_TRUE(Read().empty());
}

TEST_F(QtKeySourceTest, APressDeliveredAfterTheModalDialogOfItsShortcutStaysUp)
{
    TShortcutWidget widget;
    widget.setFocusPolicy(Qt::StrongFocus);
    widget.show();
    ASSERT_TRUE(ActivateAndWait(&widget));
    widget.setFocus();
    QWindow* window = widget.windowHandle();
    QDialog dialog(&widget);
    int shown = 0;
    widget.OnShortcut = [&] {
        QTimer::singleShot(0, &dialog, [&] {
            ++shown;
            // G and Ctrl come up while the dialog blocks the window, then
            // Escape closes the dialog.
            QTest::keyRelease(window, Qt::Key_G, Qt::ControlModifier);
            QTest::keyClick(dialog.windowHandle(), Qt::Key_Escape);
        });
        dialog.exec();
    };
    QTest::keyPress(window, Qt::Key_G, Qt::ControlModifier);
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(dialog.isVisible()) << "Escape closed it";
    // Qt delivered the press of G once the dialog had closed.
    EXPECT_EQ(widget.Presses, 2);
    EXPECT_EQ(widget.Releases, 0);
    for (int code = 0; code < 256; ++code)
        EXPECT_FALSE(Source.IsDown(static_cast<u8>(code))) << code;

    // The next press of G counts again.
    QTest::keyPress(window, Qt::Key_G);
    EXPECT_TRUE(Source.IsDown(0x22));
    QTest::keyRelease(window, Qt::Key_G);
    EXPECT_FALSE(Source.IsDown(0x22));
}

TEST_F(QtKeySourceTest, FocusMovingToAnotherWindowReleasesTheHeldKeys)
{
    Widget.show();
    ASSERT_TRUE(ActivateAndWait(&Widget));
    QTest::keyPress(Widget.windowHandle(), Qt::Key_Shift, Qt::ShiftModifier);
    ASSERT_TRUE(Source.IsDown(0x2A));
    TKeyWidget other;
    other.show();
    ASSERT_TRUE(ActivateAndWait(&other));
    EXPECT_FALSE(Source.IsDown(0x2A));
    // Its release goes to the window that has the focus now.
    QTest::keyRelease(other.windowHandle(), Qt::Key_Shift);
    EXPECT_EQ(Read(), (std::vector<TKeyEvent>{{0x2A, true}, {0x2A, false}}));
}

TEST_F(QtKeySourceTest, WithoutANativeCodeTheQtKeyStandsIn)
{
    Send(Widget, QEvent::KeyPress, 0, Qt::Key_Q);
    Send(Widget, QEvent::KeyPress, 0, Qt::Key_5, false, Qt::KeypadModifier);
    Send(Widget, QEvent::KeyPress, 0, Qt::Key_1);
    // Shift went down in between: the release names the shifted symbol.
    Send(Widget, QEvent::KeyRelease, 0, Qt::Key_Exclam, false, Qt::ShiftModifier);
    Send(Widget, QEvent::KeyPress, 0, Qt::Key_F8);
    Send(Widget, QEvent::KeyPress, 0, Qt::Key_unknown);
    EXPECT_EQ(Read(), (std::vector<TKeyEvent>{{0x10, true}, {0x4C, true}, {0x02, true}, {0x02, false}, {0x42, true}}));
}

// X key codes of the xkb "evdev" keycodes against the PC scan codes.
TEST(QtKeyCodes, X11KeyCodesBecomePcScanCodes)
{
    const std::pair<quint32, u8> keys[] = {
        {9, 0x01},     // ESC
        {10, 0x02},    // AE01 (1)
        {19, 0x0B},    // AE10 (0)
        {22, 0x0E},    // BKSP
        {23, 0x0F},    // TAB
        {24, 0x10},    // AD01 (Q)
        {36, 0x1C},    // RTRN
        {37, 0x1D},    // LCTL
        {49, 0x29},    // TLDE
        {50, 0x2A},    // LFSH
        {51, 0x2B},    // BKSL
        {61, 0x35},    // AB10 (/)
        {62, 0x36},    // RTSH
        {63, 0x37},    // KPMU
        {64, 0x38},    // LALT
        {65, 0x39},    // SPCE
        {66, 0x3A},    // CAPS
        {74, 0x42},    // FK08
        {79, 0x47},    // KP7
        {82, 0x4A},    // KPSU
        {86, 0x4E},    // KPAD
        {87, 0x4F},    // KP1
        {90, 0x52},    // KP0
        {91, 0x53},    // KPDL
        {96, 0x58},    // FK12
        {104, 0x9C},   // KPEN
        {105, 0x9D},   // RCTL
        {106, 0xB5},   // KPDV
        {108, 0xB8},   // RALT
        {110, 0xC7},   // HOME
        {111, 0xC8},   // UP
        {112, 0xC9},   // PGUP
        {113, 0xCB},   // LEFT
        {114, 0xCD},   // RGHT
        {115, 0xCF},   // END
        {116, 0xD0},   // DOWN
        {117, 0xD1},   // PGDN
        {118, 0xD2},   // INS
        {119, 0xD3},   // DELE
        {127, 0xC5},   // PAUS
    };
    for (const auto& [x11, scanCode] : keys)
        EXPECT_EQ(TQtKeySource::ScanCodeFromX11(x11), scanCode) << x11;
    // No code, and keys without a PC scan code here.
    for (const quint32 x11 : {0u, 8u, 97u, 133u, 255u, 1000u})
        EXPECT_EQ(TQtKeySource::ScanCodeFromX11(x11), 0) << x11;
}

TEST(QtKeyCodes, QtKeysBecomePcScanCodes)
{
    const std::tuple<int, Qt::KeyboardModifiers, u8> keys[] = {
        {Qt::Key_Escape, Qt::NoModifier, 0x01},
        {Qt::Key_9, Qt::NoModifier, 0x0A},
        {Qt::Key_0, Qt::NoModifier, 0x0B},
        {Qt::Key_ParenRight, Qt::ShiftModifier, 0x0B},
        {Qt::Key_A, Qt::NoModifier, 0x1E},
        {Qt::Key_L, Qt::NoModifier, 0x26},
        {Qt::Key_M, Qt::NoModifier, 0x32},
        {Qt::Key_P, Qt::NoModifier, 0x19},
        {Qt::Key_Z, Qt::NoModifier, 0x2C},
        {Qt::Key_Return, Qt::NoModifier, 0x1C},
        {Qt::Key_Enter, Qt::KeypadModifier, 0x9C},
        {Qt::Key_Backspace, Qt::NoModifier, 0x0E},
        {Qt::Key_Shift, Qt::ShiftModifier, 0x2A},
        {Qt::Key_Alt, Qt::AltModifier, 0x38},
        {Qt::Key_Control, Qt::ControlModifier, 0x1D},
        {Qt::Key_Minus, Qt::NoModifier, 0x0C},
        {Qt::Key_Minus, Qt::KeypadModifier, 0x4A},
        {Qt::Key_Asterisk, Qt::KeypadModifier, 0x37},
        {Qt::Key_Asterisk, Qt::ShiftModifier, 0x09},
        {Qt::Key_Slash, Qt::KeypadModifier, 0xB5},
        {Qt::Key_Period, Qt::KeypadModifier, 0x53},
        {Qt::Key_0, Qt::KeypadModifier, 0x52},
        {Qt::Key_F1, Qt::NoModifier, 0x3B},
        {Qt::Key_F10, Qt::NoModifier, 0x44},
        {Qt::Key_F12, Qt::NoModifier, 0x58},
        {Qt::Key_Left, Qt::NoModifier, 0xCB},
        {Qt::Key_PageDown, Qt::NoModifier, 0xD1},
        {Qt::Key_Delete, Qt::NoModifier, 0xD3},
        {Qt::Key_Pause, Qt::NoModifier, 0xC5},
    };
    for (const auto& [key, modifiers, scanCode] : keys)
        EXPECT_EQ(TQtKeySource::ScanCodeFromQtKey(key, modifiers), scanCode) << std::hex << key;
    EXPECT_EQ(TQtKeySource::ScanCodeFromQtKey(Qt::Key_Meta, Qt::NoModifier), 0);
}

}  // namespace
