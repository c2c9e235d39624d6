// The tape deck: it holds the inserted tape and plays it as an ear level that
// changes at times counted in CPU T-states.
//
// It plays standard-speed blocks, the ROM's own format: every block of a TAP
// image and the TZX standard-speed block (ID 0x10), each as a pilot tone,
// two sync pulses and two pulses per data bit, followed by the block's pause
// (the TZX pause field, one second after a TAP block). Any other TZX block
// reports "TZX Playback error!" with its ID once and stops the deck.
//
// The recorder is the keyboard's tape input (TTapeInput): the computer
// attaches it with TKeyboard::SetTapeInput, and while it plays its level is
// bit 6 of every read of port 0xFE. While it does not play, port 0xFE reads
// as if there were no recorder.
//
// Threads. Update runs on the thread that steps the machine. Play, Stop,
// SetTape and Eject run on the user-interface thread, between two Updates:
// during a run, inside the computer's pause guard. IsPlaying and GetLevel
// may be polled from any thread; GetTape from the user-interface thread.
#pragma once

#include "core/Keyboard.h"
#include "core/Types.h"

#include <atomic>
#include <memory>

class TMessageService;
class TTape;

class TTapeRecorder : public TTapeInput {
public:
    // The state in which the recorder starts the current block.
    static constexpr i32 BlockStartState = 7;
    static constexpr const char* PlaybackErrorCaption = "TZX Playback error!";

    // Not playing, no tape, level 0. Playback errors are shown through the
    // message service (posted to the user-interface thread when raised on
    // another); without one they are not shown.
    explicit TTapeRecorder(TMessageService* messages = nullptr);
    ~TTapeRecorder() override;
    TTapeRecorder(const TTapeRecorder&) = delete;
    TTapeRecorder& operator=(const TTapeRecorder&) = delete;

    void SetMessageService(TMessageService* messages) { Messages = messages; }
    // The frame length from the settings.
    void LoadTimings();

    // Deletes the inserted tape, if any, and inserts this one. A playing
    // deck starts the new tape's current block (the first) as Play does;
    // with no tape it stops.
    void SetTape(std::unique_ptr<TTape> tape);
    // Stops and deletes the tape.
    void Eject();
    TTape* GetTape() const { return Tape.get(); }

    // Starts the tape's current block. Nothing without a tape or while
    // playing; stops again at once at the end of the tape or on a block it
    // cannot play.
    void Play();
    void Stop();
    bool IsPlaying() const override { return Playing.load(std::memory_order_relaxed) != 0; }
    u8 GetLevel() const { return Level.load(std::memory_order_relaxed); }
    bool GetEarLevel() const override { return GetLevel() != 0; }

    // Catches up to the CPU's T-state within the frame (the frame number is
    // not needed: a T-state below the last one means the frame wrapped). The
    // first Update after Play only takes the T-state.
    void Update(i32 tstate, i32 frame);
    // How far the CPU may move past the last Update before an Update does
    // more than count: an Update that has moved on by fewer T-states
    // changes neither the level nor the tape, and a later one sees the
    // same as if they had all been made. 0: the next Update acts (the
    // first after Play). Meaningful while playing.
    i64 GetTStatesToNextChange() const;

private:
    // Where the current block's pulses are.
    enum class TPhase : u8 { Pilot, Sync1, Sync2, Data, Pause };

    // Called when a pulse ends: decides the next one, or stops.
    void NextPulse();
    // Plays the current block from its pilot, passing over blocks without
    // data; stops at the end of the tape or on a block it cannot play.
    // openingEdge: the first pilot pulse begins with a level change.
    void StartBlock(bool openingEdge);
    // Reads the current block's place and timing; false when there is none
    // or it is not a standard-speed block (reported).
    bool OpenBlock();
    // The last data pulse has ended: the pause, or the next block.
    void FinishBlock();
    // Moves the tape on and starts the block's pause; false without one.
    bool EnterPause();
    void BeginPulse(i64 length);
    void ToggleLevel();
    void ReportUnknownBlock(u8 id);

    TMessageService* Messages = nullptr;
    i32 State = 0;
    std::unique_ptr<TTape> Tape;
    std::atomic<u8> Playing{0};
    std::atomic<u8> Level{0};
    u8 Pause = 0;
    i32 LastTState = 0;
    i32 TStatesPerFrame = 0;
    // T-states of the pause until the level falls, and until the next pulse.
    i64 PauseLeft = 0;
    i64 PulseLeft = 0;

    // The first Update after Play only takes the T-state.
    bool Synchronised = false;
    // The block being played.
    TPhase Phase = TPhase::Pilot;
    i64 PilotLeft = 0;          // pilot pulses still to come
    i64 DataOffset = 0;         // file offset of the next data byte
    i64 DataEnd = 0;            // one past the last data byte
    u8 CurrentByte = 0;
    u8 BitMask = 0;             // the bit being played, 0 before the first
    bool SecondHalf = false;    // the second of the bit's two pulses is next
    i64 PauseTStates = 0;       // the pause after the block
    i64 TStatesPerMillisecond = 3500;
};
