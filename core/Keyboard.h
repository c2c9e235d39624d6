// The 40-key matrix of eight half-rows read through port 0xFE. Presses are
// counted per key (two host keys may press one emulated key), and with three
// or more keys down the effective rows show the ghosting of a real matrix.
//
// Keys 0-39 in row order: 0-9 the digits 1..9, 0; 10-19 Q..P; 20-28 A..L;
// 29 ENTER; 30 CAPS SHIFT; 31-37 Z..M; 38 SYMBOL SHIFT; 39 SPACE.
//
// The key thread, the computer's reset and the key thread's resynchronisation
// write under one small mutex; the run thread reads the effective rows, which
// are atomics, without it.
#pragma once

#include "core/Device.h"

#include <array>
#include <atomic>
#include <mutex>
#include <span>

// The tape signal heard on bit 6 of a keyboard-port read. The tape recorder's
// ear implements it; while no source is set, or it is not playing, bit 6
// reads 0.
class TTapeInput {
public:
    virtual ~TTapeInput() = default;
    virtual bool IsPlaying() const = 0;
    // The ear level now: true reads as bit 6 set. Asked only while playing.
    virtual bool GetEarLevel() const = 0;
};

class TKeyboard : public TDevice {
public:
    static constexpr i32 KeyCount = 40;
    static constexpr i32 HalfRows = 8;
    // A half-row with no key down: keys (bits 0-4) high, bit 5 high, bit 6
    // (the ear) low, bit 7 high.
    static constexpr u8 NoKeys = 0xBF;

    TKeyboard();

    // Keys outside 0-39 are ignored.
    void KeyDown(i32 key);
    // A release of a key that is not down changes nothing.
    void KeyUp(i32 key);
    // No key down, no press outstanding.
    void Reset() override;
    // Resets and presses the given keys again in one step under the writers'
    // lock (the key thread does this when it is switched on).
    void Resynchronise(std::span<const i32> heldKeys);

    // The in-port handler: 0xBF AND the effective row of every half-row i
    // whose address bit 8 + i is 0, with the tape signal on bit 6.
    u8 PortRead(u16 port);

    // The tape signal source; nullptr for none. It must outlive the keyboard
    // or be cleared first.
    void SetTapeInput(const TTapeInput* input) { TapeInput.store(input, std::memory_order_relaxed); }

    // Inspection (tests, views).
    u8 GetEffectiveRow(i32 halfRow) const { return EffectiveRows[halfRow].load(std::memory_order_relaxed); }
    u8 GetKeysDown() const;
    u8 GetPressCount(i32 key) const;
    // The half-row and bit of a key.
    static i32 KeyHalfRow(i32 key);
    static u8 KeyBit(i32 key);

private:
    // Effective rows from the raw rows, ghosted when three or more keys are
    // down. Called with the writers' lock held.
    void UpdateRows();
    void ResetLocked();
    void KeyDownLocked(i32 key);

    mutable std::mutex WritersLock;
    u8 KeysDown = 0;
    std::array<std::atomic<u8>, HalfRows> EffectiveRows;
    std::array<u8, HalfRows> RawRows{};
    std::array<u8, KeyCount> KeyRowIndex{};
    std::array<u8, KeyCount> KeyBitMask{};
    std::array<u8, KeyCount> PressCount{};
    std::atomic<const TTapeInput*> TapeInput{nullptr};
};
