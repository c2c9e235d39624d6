// A processor on 64K of plain RAM and a port bus the test wires, for the Z80
// tests. The settings are the defaults unless a test changes them.
#pragma once

#include "core/Memory.h"
#include "core/Ports.h"
#include "core/Z80.h"
#include "tests/support/Test_settings.h"

#include <deque>
#include <functional>
#include <initializer_list>
#include <utility>
#include <vector>

// Answers every port: reads through a function of the test, writes recorded
// with the T-state at which they happened. Out-handlers are not told the
// port, so writes to the ports a test names are also logged by address
// through exact decodes of their own.
class TZ80TestPorts {
public:
    TZ80TestPorts(TPorts& ports, const TZ80* cpu) : Bus(ports), Cpu(cpu) { WatchWritePorts({}); }

    // Logs writes to these exact ports in WatchedWrites (at most 8 ports);
    // clears every log.
    void WatchWritePorts(const std::vector<u16>& watched)
    {
        Bus.Clear();
        Bus.AddPort(TPort(0, 0, TInHandler::Bind<TZ80TestPorts, &TZ80TestPorts::Read>(this)));
        Bus.AddPort(TPort(0, 0, TOutHandler::Bind<TZ80TestPorts, &TZ80TestPorts::Write>(this)));
        Watches.clear();
        for (u16 port : watched) {
            bool known = false;
            for (const TWatch& watch : Watches)
                known = known || watch.Port == port;
            if (known)
                continue;
            Watches.push_back(TWatch{port, &WatchedWrites});
            Bus.AddPort(TPort(port, 0xFFFF, TOutHandler::Bind<TWatch, &TWatch::Write>(&Watches.back())));
        }
        Reads.clear();
        Writes.clear();
        WatchedWrites.clear();
    }

    std::function<u8(u16)> OnRead = [](u16 port) { return static_cast<u8>(port >> 8); };
    std::vector<u16> Reads;
    // (value, Tact when the port handler ran).
    std::vector<std::pair<u8, i32>> Writes;
    // (port, value) of the writes to watched ports.
    std::vector<std::pair<u16, u8>> WatchedWrites;

private:
    struct TWatch {
        u16 Port;
        std::vector<std::pair<u16, u8>>* Log;
        void Write(u8 value) { Log->emplace_back(Port, value); }
    };

    u8 Read(u16 port)
    {
        Reads.push_back(port);
        return OnRead(port);
    }
    void Write(u8 value) { Writes.emplace_back(value, Cpu->Tact); }

    TPorts& Bus;
    const TZ80* Cpu;
    std::deque<TWatch> Watches;
};

struct TZ80TestMachine {
    TTestSettings Settings;
    TMemory Memory{TMemory::Model48};
    TPorts Ports;
    TZ80 Cpu{&Memory, &Ports};
    TZ80TestPorts Io{Ports, &Cpu};

    TZ80TestMachine()
    {
        Memory.MakeFlatRam();
        for (u32 a = 0; a < 0x10000; ++a)
            Memory.WriteByte(static_cast<u16>(a), 0);
    }

    void Poke(u16 address, std::initializer_list<u8> bytes)
    {
        for (u8 b : bytes)
            Memory.WriteByte(address++, b);
    }
    u8 Peek(u16 address) const { return Memory.ReadByte(address); }
    // T-states taken by one step.
    i32 TimedStep()
    {
        const i32 before = Cpu.Tact;
        Cpu.Step();
        return Cpu.Tact - before;
    }
};
