// TMemoryF: the memory view, a read-only hexadecimal dump whose row width
// follows the view's width, with Go to and the load and save dump dialogs.
// It paints live memory each time it is painted, so its refresh only
// repaints.
//
// The vertical scroll position is the address of the first byte of the top
// row (one scroll unit per byte), clamped to 0 .. data size - client height.
// Rows follow each other byte after byte whatever the scroll position; past
// 0xFFFF the dump goes on at 0000.
#pragma once

#include "core/Types.h"
#include "shell/View_frame.h"

#include <memory>
#include <vector>

class QAction;
class QMenu;
class QScrollBar;
class TComputer;
class TDataArray;

class TMemoryF : public TViewF {
    Q_OBJECT

public:
    static constexpr int RowHeight = 12;
    static constexpr int AddressColumnWidth = 42;
    static constexpr int CellsX = 42;
    static constexpr int CellWidth = 20;
    // Wheel turns scroll this many rows.
    static constexpr int WheelRows = 3;

    // The data array is owned from now on; the computer (may be null) is
    // paused around reads during a run and handed to the dump dialogs.
    TMemoryF(QWidget* owner, TComputer* computer, std::unique_ptr<TDataArray> data);
    ~TMemoryF() override;

    // --- TViewF ---
    void UpdateView() override;
    void MouseWheelDown(Qt::KeyboardModifiers shift, const QPoint& mousePos, bool& handled) override;
    void MouseWheelUp(Qt::KeyboardModifiers shift, const QPoint& mousePos, bool& handled) override;

    // --- Paint box events and menu items ---
    void MemoryPBPaint();
    void MemoryPBMouseDown(Qt::MouseButton button, const QPoint& point);
    void MemoryPBDblClick(const QPoint& point);
    void GotoAddressMIClick();
    void SaveDumpMIClick();
    void LoadDumpMIClick();

    // The byte cells of a row in a paint box this wide (at least one).
    static int CellsPerRow(int width);

    // --- Inspection ---
    u32 GetTop() const;
    void SetTop(u32 address);
    int ClientHeight() const;
    // The address of the first byte of each row a paint shows.
    std::vector<u32> RowAddresses() const;
    TDataArray* GetData() const { return Data.get(); }

    // Components, named as the form names them.
    QWidget* MemoryPB;
    QScrollBar* VertScrollBar;
    QMenu* MemoryDumpPM;
    QAction* GotoAddressMI;
    QAction* SaveDumpMI;
    QAction* LoadDumpMI;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QAction* AddItem(const char* name, const char* caption, const QKeySequence& shortcut);
    void UpdateScrollRange();
    void Scroll(int rows);

    TComputer* Computer;
    std::unique_ptr<TDataArray> Data;
    bool AddressColumn = false;
};
