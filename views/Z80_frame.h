// TZ80F: the CPU registers view. It shows the processor's registers, flags,
// interrupt state and frame T-state as 27 labelled fields on one paint box,
// paints in bold every value that changed since the previous refresh, and
// lets the user edit, switch, clear and set them. It is the only view that
// writes processor state.
//
// The fields show a kept copy of the register block taken at each refresh
// (after a step, a run's end, a reset or a load), so a paint never reads
// the live processor. Every write goes into the live processor inside the
// computer's pause guard, then the view refreshes, so the written value
// shows in bold.
#pragma once

#include "core/Types.h"
#include "core/Z80.h"
#include "shell/View_frame.h"

#include <QString>

#include <memory>
#include <vector>

class QAction;
class QMenu;
class TComputer;

class TZ80F : public TViewF {
    Q_OBJECT

public:
    // What a field shows.
    enum TKind : i32 { KindWord = 0, KindByte = 1, KindDword = 2, KindFlag = 3, KindIM = 4, KindDelta = 5 };
    // Where a field's value lives in the register block.
    enum TPlace : i32 {
        PlacePC, PlaceSP, PlaceIX, PlaceIY, PlaceHL, PlaceDE, PlaceBC, PlaceAF,
        PlaceAltHL, PlaceAltDE, PlaceAltBC, PlaceAltAF,
        PlaceF, PlaceI, PlaceR, PlaceIFF1, PlaceIFF2, PlaceTact, PlaceIM, PlaceNone
    };

    struct TZ80Field {
        i32 X = 0;
        i32 Y = 0;
        QString Label;
        bool Changed = false;
        i32 Kind = KindWord;
        i32 Place = PlaceNone;
        u8 Bit = 0;  // flag fields only
        i32 CellWidth = 0;

        // Width of the value cell in pixels: its longest text in the view's
        // font, with the text's inset.
        i32 Width() const { return CellWidth; }
        // The cell: left x + 1, top y + 3, right x + width, bottom y + 15
        // (right and bottom exclusive).
        QRect Rect() const;
    };

    static constexpr int FieldCount = 27;
    static constexpr int RowHeight = 12;
    // The layout's columns are laid out for characters this wide; a font
    // of another width moves them in proportion.
    static constexpr int DesignAdvance = 8;

    // The widest character of the view's font (regular or bold), in pixels.
    static int CharAdvance();
    // The longest text a field of the kind shows, in characters (label
    // included): the T-state delta allows ten digits.
    static int FieldChars(i32 kind, const QString& label);

    // The computer, when given, is paused around every read and write of
    // the live processor while a run is active.
    TZ80F(QWidget* owner, TZ80* cpu, TComputer* computer = nullptr);
    ~TZ80F() override;

    // --- TViewF ---
    void UpdateView() override;
    void KeyDown(int& key, Qt::KeyboardModifiers shift) override;
    void MouseWheelDown(Qt::KeyboardModifiers shift, const QPoint& mousePos, bool& handled) override;
    void MouseWheelUp(Qt::KeyboardModifiers shift, const QPoint& mousePos, bool& handled) override;

    // --- Paint box events ---
    void Z80PBPaint();
    void Z80PBMouseDown(Qt::MouseButton button, const QPoint& point);
    void Z80PBDblClick(const QPoint& point);

    // --- Actions ---
    void EditAExecute();
    void EditHighByteAExecute();
    void EditLowByteAExecute();
    void SwitchAExecute();
    void ResetToZeroAExecute();
    void SetToOneAExecute();
    // Enables and shows each action (but Edit) by its category and the
    // selected field.
    void OnActionsUpdate();

    // --- Selection ---
    void SelectFirst();
    void SelectLast();
    void SelectNext();
    void SelectPrevious();

    // --- Inspection ---
    const std::vector<TZ80Field>& Fields() const { return FieldList; }
    int GetSelected() const { return Selected; }
    void SetSelected(int index);
    // The index of the field with the label, or -1.
    int FieldIndex(const QString& label) const;
    // The text a field paints: its label and value from the kept copy.
    QString FieldText(int index) const;
    i64 GetDelta() const { return Delta; }

    // A field's value in a register block (R as the chip keeps it).
    static u32 ReadPlace(const TZ80& cpu, i32 place);
    // Writes a field's value into a register block: R as LD R,A writes it,
    // PC so that a waiting HALT is left.
    static void WritePlace(TZ80& cpu, i32 place, u32 value);

    // Components, named as the form names them.
    QWidget* Z80PB;
    QMenu* Z80FramePM;
    QAction* EditA;
    QAction* EditHighByteA;
    QAction* EditLowByteA;
    QAction* SwitchA;
    QAction* ResetToZeroA;
    QAction* SetToOneA;

private:
    void AddField(i32 x, i32 y, u8 bit, i32 place, i32 kind, const char* label);
    QAction* AddAction(const char* name, const char* caption, QList<QKeySequence> shortcuts, const char* category);
    // Refresh, repaint and bring the actions up to date.
    void Changed();
    // Writes into the live processor (paused), then refreshes.
    void WriteLive(i32 place, u32 value);
    // Edits the selected field (or one byte of it) in the expression dialog.
    void EditField(int part);
    int FieldAt(const QPoint& point) const;
    const TZ80Field* SelectedField() const;
    u8 RValue(const TZ80& cpu) const;

    TZ80* Cpu;
    TComputer* Computer;
    // The register block as the last refresh found it (values only).
    std::unique_ptr<TZ80> Kept;
    u8 OldR = 0;
    u8 NewR = 0;
    i64 Delta = 0;
    std::vector<TZ80Field> FieldList;
    int Selected = 0;
    int Clicked = -1;
};
