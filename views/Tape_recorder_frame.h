// TTapeRecorderF: the tape deck view. Its buttons play, stop and eject the
// tape in the machine's tape recorder, and its list shows the blocks of the
// inserted tape. A 100 ms timer notices a tape inserted or ejected elsewhere
// (the Open file command) and lists it; it also runs during a run, reading
// only what may be read then: the recorder's playing flag, its tape and the
// tape's read-only catalogue.
//
// The selection is where the next Play starts: Rewind, Forward or a click in
// the list choose a block, and Play moves the tape there first. Without such
// a choice Play goes on from the tape's own current block (a Stop and Play
// resumes). While the tape plays, the selection moves only when the user
// moves it.
//
// Play, Stop and Eject change the recorder inside the computer's pause
// guard, so a run goes on around them.
#pragma once

#include "core/Types.h"
#include "media/Tape.h"
#include "shell/View_frame.h"

#include <optional>

class QListWidget;
class QPushButton;
class QTimer;
class TComputer;
class TTapeRecorder;

class TTapeRecorderF : public TViewF {
    Q_OBJECT

public:
    static constexpr int TimerIntervalMs = 100;
    static constexpr int ItemHeight = 13;

    // The computer supplies the pause guard; without one the recorder is
    // changed directly (a machine that never runs).
    TTapeRecorderF(QWidget* owner, TTapeRecorder* recorder, TComputer* computer = nullptr);
    ~TTapeRecorderF() override;

    // The view shows the recorder, not the machine state: nothing to do.
    void UpdateView() override;

    // Lists the blocks of the recorder's tape (none without one), selects
    // the first and updates the buttons.
    void RebuildBlockList();
    void UpdateButtons();
    // The 100 ms tick: a changed tape is listed again; a deck that stopped
    // or started by itself gets its buttons updated.
    void TRFTimerTimer();

    // --- Handlers ---
    void RecordBClick();
    void PlayBClick();
    void RewindBClick();
    void ForwardBClick();
    void EjectBClick();
    void StopBClick();
    void BlockListLBClick();

    // The catalogue entry of a list row (a copy), or nothing.
    std::optional<TTapeBlockInfo> GetItemInfo(int row) const;
    // The user chose the block the next Play starts from.
    bool IsSelectionChosen() const { return SelectionChosen; }

    // --- Components ---
    QPushButton* RecordB;
    QPushButton* PlayB;
    QPushButton* RewindB;
    QPushButton* ForwardB;
    QPushButton* EjectB;
    QPushButton* StopB;
    QListWidget* BlockListLB;
    QTimer* TRFTimer;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void SelectionChanged();

    TTapeRecorder* Recorder;
    TComputer* Computer;
    // The tape last listed, by object and by byte sum.
    const TTape* ListedTape = nullptr;
    u32 ListedSum = 0;
    bool WasPlaying = false;
    bool SelectionChosen = false;
    bool Rebuilding = false;
};
