// TStackF: the stack view, one 16-bit word per row around the processor's
// SP, the SP row in bold. Row r of its list shows the word at
// ((r - 5) x 2 + SP's parity) modulo the data size, so the list starts with
// the five words below address 0 and each refresh scrolls SP's row sixth
// from the top (as far as the end of the list allows). It paints live
// memory each time it is painted.
#pragma once

#include "core/Types.h"
#include "shell/View_frame.h"

#include <memory>
#include <vector>

class QScrollBar;
class TComputer;
class TDataArray;
class TZ80;

class TStackF : public TViewF {
    Q_OBJECT

public:
    static constexpr int RowHeight = 12;
    static constexpr int RowsAboveSP = 5;
    static constexpr int WheelRows = 3;

    // The data array is owned from now on; the computer (may be null) is
    // paused around reads during a run.
    TStackF(QWidget* owner, TZ80* cpu, std::unique_ptr<TDataArray> data, TComputer* computer = nullptr);
    ~TStackF() override;

    // --- TViewF ---
    void UpdateView() override;
    void MouseWheelDown(Qt::KeyboardModifiers shift, const QPoint& mousePos, bool& handled) override;
    void MouseWheelUp(Qt::KeyboardModifiers shift, const QPoint& mousePos, bool& handled) override;

    void StackPBPaint();

    // The address row r of the list shows.
    u16 RowAddress(i64 row) const;
    // Rows in the whole list: data size / 2 + 15.
    i64 ListRows() const;

    // --- Inspection ---
    // Scroll position in pixels (12 a row).
    int GetScrollPosition() const;
    void SetScrollPosition(int pixels);
    int ClientHeight() const;
    // The rows a paint draws, from the top row on: address and bold flag.
    struct TRow {
        i64 Row;
        u16 Address;
        bool Bold;
    };
    std::vector<TRow> VisibleRows() const;
    u16 GetSP() const { return SP; }

    // Components, named as the form names them.
    QWidget* StackPB;
    QScrollBar* VertScrollBar;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void UpdateScrollRange();

    TZ80* Cpu;
    std::unique_ptr<TDataArray> Data;
    TComputer* Computer;
    u16 SP = 0;
    u8 Parity = 0;
};
