// What the tests of the debugger's views and dialogs share: a machine with
// the view manager bound to a stand-in main window, the expression and
// quick-assembler dialogs, a way to answer a modal dialog from the test,
// and a plain 64K byte array.
#pragma once

#include "tests/shell/Qt_test_app.h"
#include "tests/support/Fake_host_services.h"
#include "tests/support/Test_settings.h"

#include "core/Computer.h"
#include "core/Data_array.h"
#include "core/Hex_text.h"
#include "core/Memory.h"
#include "core/Z80.h"
#include "shell/Frames_form.h"
#include "shell/Ide.h"
#include "tools/Expression.h"
#include "views/Debugger_views.h"
#include "views/Expression_form.h"
#include "views/Quick_asm_form.h"

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

// Answers the next showing of a modal dialog: once it is on screen the
// script runs (typically it types and presses a button); a dialog the script
// leaves open is cancelled, so a test never hangs in a modal loop. The
// destructor checks that the dialog was shown.
class TModalAnswer {
public:
    using TScript = std::function<void(QDialog&)>;

    TModalAnswer(QDialog* dialog, TScript script, bool expectShown = true)
        : Dialog(dialog)
        , Script(std::move(script))
        , ExpectShown(expectShown)
    {
        Timer.setInterval(0);
        QObject::connect(&Timer, &QTimer::timeout, [this] { Poll(); });
        Timer.start();
    }
    ~TModalAnswer()
    {
        Timer.stop();
        if (ExpectShown) {
            EXPECT_TRUE(Shown) << "the dialog was never shown";
        }
    }
    TModalAnswer(const TModalAnswer&) = delete;
    TModalAnswer& operator=(const TModalAnswer&) = delete;

    bool WasShown() const { return Shown; }

private:
    void Poll()
    {
        if (!Dialog || !Dialog->isVisible() || Shown)
            return;
        Shown = true;
        Timer.stop();
        Script(*Dialog);
        if (Dialog && Dialog->isVisible())
            Dialog->reject();
    }

    QPointer<QDialog> Dialog;
    TScript Script;
    bool ExpectShown;
    bool Shown = false;
    QTimer Timer;
};

// Types the text into a dialog's combo box and presses its OK button.
inline TModalAnswer::TScript TypeAndOk(const QString& text)
{
    return [text](QDialog& dialog) {
        dialog.findChild<QComboBox*>(QStringLiteral("ExprCB"))->setEditText(text);
        dialog.findChild<QPushButton*>(QStringLiteral("OkBB"))->click();
    };
}

// 64K of plain bytes, every one writable.
class TArrayMemory : public TDataArray {
public:
    TArrayMemory() : Bytes(0x10000, 0) {}

    std::string GetAddressText(u16 index) override { return HexWord(index); }
    std::string GetByteText(u16 index) override { return HexByte(Bytes[index]); }
    std::string GetWordText(u16 index) override
    {
        return HexWord(static_cast<u16>(Bytes[index] | Bytes[static_cast<u16>(index + 1)] << 8));
    }
    u8 GetByte(u16 index) override { return Bytes[index]; }
    i32 GetSize() override { return 0x10000; }
    void SetByte(u16 index, u8 value) override { Bytes[index] = value; }

    // Puts the bytes at the address (wrapping at the end of memory).
    void Put(u16 address, const std::vector<u8>& bytes)
    {
        for (u8 b : bytes)
            Bytes[address++] = b;
    }

    std::vector<u8> Bytes;
};

// A machine, the view manager bound to a stand-in main window that owns the
// tool windows and the two dialogs, the evaluator bound to the processor.
class TDebuggerViewTest : public ::testing::Test {
protected:
    TDebuggerViewTest()
    {
        Computer = std::make_unique<TComputer>(Host.Services());
        Cpu = Computer->Z80;
        g_Expression->BindCpu(Cpu);
        g_ViewCounter = 0;
        g_IDE.Init(Owner.get(), Computer.get());
        RegisterDebuggerViews(g_IDE);
        CreateDebuggerDialogs(Owner.get());
    }
    ~TDebuggerViewTest() override
    {
        Computer->Stop();
        g_IDE.CloseAll();
        Settle();
        DestroyDebuggerDialogs();
        Owner.reset();
        g_IDE.Init(nullptr, nullptr);
    }

    // A new view of the kind in its own tool window, laid out.
    template <class TView>
    TView* Open(int kind)
    {
        auto* view = qobject_cast<TView*>(g_IDE.ShowView(kind));
        EXPECT_NE(view, nullptr);
        Settle();
        return view;
    }

    // Code or data into the machine's memory as the processor sees it.
    void Poke(u16 address, std::initializer_list<u8> bytes)
    {
        for (u8 b : bytes)
            Computer->Memory->WriteByte(address++, b);
    }

    TTestSettings Settings;
    TFakeHostServices Host;
    std::unique_ptr<TComputer> Computer;
    TZ80* Cpu = nullptr;
    std::unique_ptr<QWidget> Owner = std::make_unique<QWidget>();
};
