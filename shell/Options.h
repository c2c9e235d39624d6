// TOptionsF (OptionsF): the modal Options dialog of the "Setup" menu. It
// edits a few fields of g_Settings and applies each change at once: the four
// visible TV border sizes, the default zoom of new screen views and the sound
// sync value. There is no OK or Cancel: the window's close box (or Escape)
// closes it, and closing, like changing the page, is refused with a beep
// while a border field holds a value outside its range. The settings reach
// the per-user store when the program ends, not here.
//
// A border change reaches the renderer as a request (TRender::RequestChanges):
// during a run the stepping thread applies it at the next frame end; while
// the machine is stopped the dialog applies it itself and redraws.
//
//     OptionsF->Execute(computer);    // the main window's "Options..." item
#pragma once

#include "core/Types.h"

#include <QDialog>
#include <QWidget>

#include <array>
#include <atomic>

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
class QStackedWidget;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class TComputer;

// The up-down arrows bound to an edit: a step starts from the number in the
// edit (or the last position, when the edit holds none), stays inside the
// range and writes the new position into the edit. The Up and Down keys in
// the edit step too.
class TUpDown : public QWidget {
    Q_OBJECT

public:
    TUpDown(QWidget* parent, QLineEdit* buddy);

    void SetRange(int min, int max);
    int GetMin() const { return Min; }
    int GetMax() const { return Max; }
    // Clamps the position into the range and writes it into the edit.
    void SetPosition(int position);
    int GetPosition() const { return Position; }
    void Step(int delta);

    QToolButton* UpB;
    QToolButton* DownB;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* Buddy;
    int Min = 0;
    int Max = 100;
    int Position = 0;
};

class TOptionsF : public QDialog {
    Q_OBJECT

public:
    // The page selectors of the tree's nodes.
    enum TPage { PageEmpty = 0, PageVideo = 1, PageSound = 2, PageTimings = 3 };

    // The TV border sizes the fields fall back to when they are invalid,
    // and that "Reset to Default" restores: left, right, top, bottom.
    static constexpr std::array<i32, 4> DefaultBorders = {40, 36, 46, 26};

    explicit TOptionsF(QWidget* owner = nullptr);
    ~TOptionsF() override;

    // Stores the computer (whose renderer the border changes redraw) and
    // shows the dialog modally.
    int Execute(TComputer* computer);
    void SetComputer(TComputer* computer) { Computer = computer; }

    // --- Handlers ---
    // The tree's selection moved to the node: refused (with a beep, the
    // selection going back) while a border field is invalid.
    void OptionsTVChange(QTreeWidgetItem* node, QTreeWidgetItem* previous);
    void TVBorderChange();
    void TVBorderResetBBClick();
    void ZoomCBChange();
    void SyncValueTBChange();

    // Shows the page of a selector (any unknown one: the empty page) after
    // filling it from the settings.
    void ShowPage(int page);
    // Whether the dialog may close now (beeps when it may not).
    bool CanClose();

    // --- Inspection (tests) ---
    bool IsInvalid() const { return Invalid; }
    int GetCurrentPage() const;
    QTreeWidgetItem* FindNode(const QString& caption) const;
    // The four border edits and up-downs: left, right, top, bottom.
    std::array<QLineEdit*, 4> BorderEdits() const;
    std::array<TUpDown*, 4> BorderUpDowns() const;
    // Counts the refusals (each one beeps).
    int GetBeeps() const { return Beeps; }

    // --- Components ---
    QTreeWidget* OptionsTV;
    QStackedWidget* OptionPC;
    QWidget* EmptyTS;
    QWidget* VideoTS;
    QWidget* SoundTS;
    QWidget* TimingsTS;
    QGroupBox* ScreenViewGB;
    QComboBox* ZoomCB;
    QGroupBox* SoundEngineGB;
    QSlider* SyncValueTB;
    QGroupBox* TVBorderGB;
    QLineEdit* TVBorderLeftLE;
    QLineEdit* TVBorderRightLE;
    QLineEdit* TVBorderTopLE;
    QLineEdit* TVBorderBottomLE;
    TUpDown* LeftUD;
    TUpDown* RightUD;
    TUpDown* TopUD;
    TUpDown* BottomUD;
    QPushButton* TVBorderResetBB;

public slots:
    // Escape and the close box come here: refused while a field is invalid.
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void BuildTree();
    void BuildVideoPage();
    void BuildSoundPage();
    void BuildTimingsPage();
    void FillTimings();
    void FillVideo();
    void FillSound();
    void Beep();
    // Selects the current node alone: the highlight marks the page shown.
    void HighlightCurrentNode();
    // The settings field of border i (left, right, top, bottom) and its
    // maximum, the frame's full border.
    static std::atomic<i32>& BorderSetting(int i);
    static i32 BorderMaximum(int i);
    // The renderer takes the new borders: at the next frame end during a
    // run, at once (with a redraw) while stopped.
    void ApplyBorders();

    TComputer* Computer = nullptr;
    bool Invalid = false;
    bool Filling = false;
    bool Reverting = false;
    int Beeps = 0;
};

extern TOptionsF* OptionsF;
