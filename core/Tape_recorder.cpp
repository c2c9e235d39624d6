#include "core/Tape_recorder.h"

#include "core/Hex_text.h"
#include "core/Host_services.h"
#include "core/Settings.h"
#include "media/File.h"
#include "media/Tape.h"

#include <algorithm>

namespace {

// The pause after a TAP block, which has no pause field of its own.
constexpr i64 TapPauseMilliseconds = 1000;
// Within a pause the level falls to 0 after one millisecond.
constexpr i64 LevelFallMilliseconds = 1;
constexpr u8 StandardSpeedId = 0x10;

}  // namespace

TTapeRecorder::TTapeRecorder(TMessageService* messages) : Messages(messages)
{
    LoadTimings();
}

TTapeRecorder::~TTapeRecorder() = default;

void TTapeRecorder::LoadTimings()
{
    TStatesPerFrame = static_cast<i32>(std::max<u32>(1, g_Settings->TStatesPerFrame));
    const i64 perMillisecond = g_Settings->CpuClock / 1000;
    TStatesPerMillisecond = perMillisecond > 0 ? perMillisecond : 3500;
}

// ---------------------------------------------------------------------------
// The deck's buttons

void TTapeRecorder::SetTape(std::unique_ptr<TTape> tape)
{
    // The old tape's block is left where it was: a playing deck starts over
    // on the new tape.
    const bool wasPlaying = IsPlaying();
    Stop();
    Tape = std::move(tape);
    if (wasPlaying)
        Play();
}

void TTapeRecorder::Eject()
{
    Stop();
    Tape.reset();
}

void TTapeRecorder::Play()
{
    if (IsPlaying() || !Tape)
        return;
    State = BlockStartState;
    Pause = 0;
    PulseLeft = 0;
    Synchronised = false;
    Playing.store(1, std::memory_order_relaxed);
    // The current block from its start, also after a Stop inside it.
    StartBlock(true);
}

void TTapeRecorder::Stop()
{
    Playing.store(0, std::memory_order_relaxed);
}

// ---------------------------------------------------------------------------
// Playing

void TTapeRecorder::Update(i32 tstate, i32)
{
    if (!IsPlaying())
        return;
    if (!Synchronised) {
        LastTState = tstate;
        Synchronised = true;
        return;
    }
    i64 dt = i64(tstate) - LastTState;
    if (dt < 0)
        dt += TStatesPerFrame;
    LastTState = tstate;

    if (Pause) {
        PauseLeft -= dt;
        if (PauseLeft < 0)
            Level.store(0, std::memory_order_relaxed);
    }
    PulseLeft -= dt;
    // Each pulse adds at least one T-state, and a block that adds none moves
    // the tape on, so this ends within the tape's blocks.
    while (PulseLeft < 1 && IsPlaying()) {
        if (Pause)
            Pause = 0;
        else
            ToggleLevel();
        NextPulse();
    }
}

i64 TTapeRecorder::GetTStatesToNextChange() const
{
    if (!Synchronised)
        return 0;
    // Update ends the pulse once it has moved on by PulseLeft, and in the
    // pause lets the level fall once it has moved past PauseLeft.
    i64 change = PulseLeft;
    if (Pause && PauseLeft >= 0)
        change = std::min(change, PauseLeft + 1);
    return std::max<i64>(change, 0);
}

void TTapeRecorder::BeginPulse(i64 length)
{
    // Added, not set: the T-states by which the last pulse overran its end
    // shorten this one, so the pulses keep their exact spacing.
    PulseLeft += length;
}

void TTapeRecorder::ToggleLevel()
{
    Level.store(GetLevel() ^ 1, std::memory_order_relaxed);
}

void TTapeRecorder::NextPulse()
{
    // Playing implies both; stopping keeps Update's loop finite regardless.
    if (State != BlockStartState || !Tape) {
        Stop();
        return;
    }
    switch (Phase) {
    case TPhase::Pause:
        // The pause is over (no edge was made at its end): the next block.
        StartBlock(true);
        return;
    case TPhase::Pilot:
        if (PilotLeft > 0) {
            --PilotLeft;
            BeginPulse(TTape::StandardPilotPulse);
            return;
        }
        Phase = TPhase::Sync1;
        BeginPulse(TTape::StandardSync1);
        return;
    case TPhase::Sync1:
        Phase = TPhase::Sync2;
        BeginPulse(TTape::StandardSync2);
        return;
    case TPhase::Sync2:
    case TPhase::Data:
        Phase = TPhase::Data;
        // Two pulses per bit, from bit 7 of the first byte on.
        if (!SecondHalf) {
            BitMask = static_cast<u8>(BitMask >> 1);
            if (BitMask == 0) {
                if (DataOffset >= DataEnd) {
                    FinishBlock();
                    return;
                }
                CurrentByte = Tape->GetFile().GetByteAt(DataOffset++);
                BitMask = 0x80;
            }
        }
        SecondHalf = !SecondHalf;
        BeginPulse((CurrentByte & BitMask) ? TTape::StandardOnePulse : TTape::StandardZeroPulse);
        return;
    }
}

bool TTapeRecorder::OpenBlock()
{
    if (Tape->IsEndOfTape() || !Tape->SelectBlock(-1))
        return false;
    const TFile& file = Tape->GetFile();
    const i64 offset = Tape->GetCurrentInfo()->Offset;
    i64 length = 0;
    if (Tape->GetType() == TTape::TypeTAP) {
        length = file.GetWordAt(offset);
        DataOffset = offset + 2;
        PauseTStates = TapPauseMilliseconds * TStatesPerMillisecond;
    } else {
        const u8 id = file.GetByteAt(offset);
        if (id != StandardSpeedId) {
            ReportUnknownBlock(id);
            return false;
        }
        PauseTStates = i64(file.GetWordAt(offset + 1)) * TStatesPerMillisecond;
        length = file.GetWordAt(offset + 3);
        DataOffset = offset + 5;
    }
    // The catalogue checked that the data lie in the file; clamp anyway.
    DataEnd = std::min<i64>(DataOffset + length, file.GetSize());
    BitMask = 0;
    SecondHalf = false;
    return true;
}

void TTapeRecorder::StartBlock(bool openingEdge)
{
    // A block without data has no pulses; without a pause either, the next
    // block follows at once. The walk ends at the end of the tape.
    for (;;) {
        if (!OpenBlock()) {
            Stop();
            return;
        }
        if (DataOffset < DataEnd)
            break;
        if (EnterPause())
            return;
    }
    const u8 flag = Tape->GetFile().GetByteAt(DataOffset);
    PilotLeft = flag < 128 ? TTape::StandardHeaderPilotCount : TTape::StandardDataPilotCount;
    Phase = TPhase::Pilot;
    // The first pilot pulse opens with an edge, unless the end of the last
    // data pulse just made it.
    if (openingEdge)
        ToggleLevel();
    --PilotLeft;
    BeginPulse(TTape::StandardPilotPulse);
}

void TTapeRecorder::FinishBlock()
{
    if (!EnterPause())
        StartBlock(false);
}

bool TTapeRecorder::EnterPause()
{
    Tape->SelectBlock(Tape->GetCurrentIndex() + 1);
    if (PauseTStates <= 0)
        return false;
    Phase = TPhase::Pause;
    Pause = 1;
    PauseLeft = LevelFallMilliseconds * TStatesPerMillisecond;
    BeginPulse(PauseTStates);
    return true;
}

void TTapeRecorder::ReportUnknownBlock(u8 id)
{
    if (Messages)
        Messages->ShowMessageBox(PlaybackErrorCaption, "Неизвестный код блока " + HexBytePrefixed(id));
}
