// TDasmF: the disassembly view. It lists Z80 code one instruction per
// 12-pixel row (address, bytes, T-states, mnemonic), the row at the
// processor's PC in bold and the cursor row highlighted. It follows PC after
// each step, steps backwards through variable-length code by a
// resynchronising walk, and offers Set PC, Run to Cursor, Go to, Follow and
// the one-line assembler.
//
// The vertical scroll position is itself the address of the top row (one
// scroll unit per byte), clamped to 0 .. memory size - client height.
//
// Instruction lengths and T-states come from the published Z80 tables (the
// tests hold them against z80dasm's decoding and the SingleStepTests cycle
// counts); the mnemonic comes from the disassembler (TZ80Mnm).
#pragma once

#include "core/Types.h"
#include "shell/View_frame.h"

#include <QPoint>

#include <array>
#include <memory>
#include <string>
#include <vector>

class QAction;
class QMenu;
class QScrollBar;
class TComputer;
class TDataArray;
class TZ80Mnm;

class TDasmF : public TViewF {
    Q_OBJECT

public:
    static constexpr int RowHeight = 12;
    static constexpr int MaxRows = 199;
    static constexpr int AddressColumnWidth = 42;  // presses left of it are in the address column
    static constexpr int BytesX = 42;
    static constexpr int ByteWidth = 20;
    static constexpr int TStatesX = 122;
    static constexpr int MnemonicX = 162;
    static constexpr int FollowHistoryLimit = 64;

    // The T-states of an instruction: base, and the extra a taken condition
    // or a repeat costs (0 for none).
    struct TTStates {
        int Base = 0;
        int Extra = 0;
        bool operator==(const TTStates&) const = default;
    };

    explicit TDasmF(QWidget* owner);
    ~TDasmF() override;

    // The memory to show (owned from now on) and the machine whose PC is
    // followed (may be null, or have no processor: nothing is bold then).
    void SetSource(std::unique_ptr<TDataArray> memory, TComputer* computer);

    // --- Decoding (any byte array) ---
    // The length of the instruction at the address, prefixes included; a
    // run of prefixes ends where the processor ends it.
    static u32 InstructionLength(TDataArray& memory, u32 address);
    static TTStates TStates(TDataArray& memory, u32 address);
    // "7", "16+5".
    static std::string TStatesText(const TTStates& states);
    static TTStates DecodeTStates(int code, int add);

    // --- Stepping over instructions of the shown memory ---
    u32 NextInstruction(u32 address);
    u32 PrevGuess(u32 address);
    u32 PrevInstruction(u32 address);
    u32 NextPage(u32 address);
    u32 PrevPage(u32 address);

    // --- TViewF ---
    void UpdateView() override;
    void KeyDown(int& key, Qt::KeyboardModifiers shift) override;
    void MouseWheelDown(Qt::KeyboardModifiers shift, const QPoint& mousePos, bool& handled) override;
    void MouseWheelUp(Qt::KeyboardModifiers shift, const QPoint& mousePos, bool& handled) override;

    // --- Paint box events ---
    void PBPaint();
    void PBMouseDown(Qt::MouseButton button, const QPoint& point);
    void PBDblClick(const QPoint& point);

    // --- Cursor and scrolling ---
    void CursorDown();
    void CursorUp();
    void ScrollDown();
    void ScrollUp();
    void PageDown();
    void PageUp();
    void CursorToTop();
    void CursorToBottom();

    // --- Actions ---
    void SetPCOnCurrentLineAExecute();
    void RunToCursorAExecute();
    void ShowExecutionPointAExecute();
    void GotoAddressAExecute();
    void FollowAExecute();
    void CallerAExecute();
    void QuickAsmAExecute();
    // The end of a run to the cursor: every view shows the stopped machine.
    static void OnRunToCursorStop();

    // The address a jump, call, relative jump or restart at the address goes
    // to; false for any other instruction.
    static bool JumpTarget(TDataArray& memory, u32 address, u16& target);

    // --- Inspection ---
    u32 GetCursor() const { return Cursor; }
    void SetCursor(u32 address);
    u32 GetTop() const;
    void SetTop(u32 address);
    int GetRowCount() const { return RowCount; }
    int GetCursorRow() const { return CursorRow; }
    u32 GetRowStart(int row) const { return RowStarts.at(std::size_t(row)); }
    // The paint box's height: the view's client height.
    int ClientHeight() const;
    // Lays the rows out as a paint would (row starts, row count, cursor
    // row) without painting.
    void LayoutRows();
    TDataArray* GetMemory() const { return Memory.get(); }

    // Components, named as the form names them.
    QWidget* PB;
    QScrollBar* VertScrollBar;
    QMenu* DasmPM;
    QAction* SetPCOnCurrentLineA;
    QAction* RunToCursorA;
    QAction* ShowExecutionPointA;
    QAction* GotoAddressA;
    QAction* FollowA;
    QAction* CallerA;
    QAction* QuickAsmA;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QAction* AddAction(const char* name, const char* caption, QList<QKeySequence> shortcuts);
    void BuildPopupMenu();
    void UpdateScrollRange();
    bool HasCpu() const;
    u16 ReadPC() const;
    // Lays the rows out; with a painter, paints them too.
    void PaintRows(class QPainter* painter);
    void Repaint();
    // Puts the cursor on the address and scrolls it into view when needed.
    void MoveCursorInView(u16 address);

    std::unique_ptr<TDataArray> Memory;
    TComputer* Computer = nullptr;
    std::unique_ptr<TZ80Mnm> Mnemonics;
    u32 Cursor = 0;
    int CursorRow = 0;
    int RowCount = 0;
    std::array<u32, MaxRows + 1> RowStarts{};
    bool AddressColumn = false;
    // Where Follow left from, newest last.
    std::vector<u16> FollowHistory;
};
