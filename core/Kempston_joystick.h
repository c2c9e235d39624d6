// The Kempston joystick on port 0x1F: one state byte that the key thread sets
// (an atomic, read by the run thread without a lock), ORed with the optional
// high bits that some interfaces return.
#pragma once

#include "core/Device.h"

#include <atomic>

class TKempstonJoystick : public TDevice {
public:
    static constexpr u8 Right = 0x01;
    static constexpr u8 Left = 0x02;
    static constexpr u8 Down = 0x04;
    static constexpr u8 Up = 0x08;
    static constexpr u8 Fire = 0x10;

    TKempstonJoystick();

    void Reset() override { State.store(0, std::memory_order_relaxed); }
    // The in-port handler: state OR high bits.
    u8 PortRead(u16 port);

    // The key thread's writes.
    void Press(u8 bits) { State.fetch_or(bits, std::memory_order_relaxed); }
    void Release(u8 bits) { State.fetch_and(static_cast<u8>(~bits), std::memory_order_relaxed); }
    u8 GetState() const { return State.load(std::memory_order_relaxed); }
    u8 GetHighBits() const { return HighBits; }

private:
    std::atomic<u8> State{0};
    u8 HighBits;  // 0xE0 when TSettings::JoystickHighBits is set, else 0
};
