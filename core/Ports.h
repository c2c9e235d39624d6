// The port bus. Ports sharing one decode (mask, value) form a group; every IN
// walks the read groups in use and ANDs together what each matching handler
// returns (starting from 0xFF, so an undecoded port reads 0xFF and several
// answering devices pull bits low together); every OUT calls each matching
// out-handler in order. Filled once by the computer, never rewired.
#pragma once

#include "core/Device.h"

#include <array>

class TDevices;

template <class THandler>
struct TPortGroup {
    static constexpr i32 MaxHandlers = 10;

    u16 Mask = 0;
    u16 Value = 0;
    i32 Count = 0;
    std::array<THandler, MaxHandlers> Handlers{};
};

class TPorts {
public:
    static constexpr i32 MaxGroups = 10;

    TPorts();
    TPorts(const TPorts&) = delete;
    TPorts& operator=(const TPorts&) = delete;

    // No group in use in either direction.
    void Clear();
    // In-ports join the read groups, out-ports the write groups. Throws "Too
    // many read ports!" / "Too many write ports!" when all ten groups refuse.
    void AddPort(const TPort& port);
    // Every port of an enabled device, in order; a disabled device adds none.
    void AddDevicePorts(TDevice& device);
    void AddDeviceList(const TDevices& devices);

    u8 Read(u16 port) const
    {
        u8 result = 0xFF;
        for (i32 g = 0; g < ReadGroupsUsed; ++g) {
            const TPortGroup<TInHandler>& group = ReadGroups[g];
            if (((port ^ group.Value) & group.Mask) != 0)
                continue;
            for (i32 h = 0; h < group.Count; ++h)
                result &= group.Handlers[h](port);
        }
        return result;
    }

    void Write(u16 port, u8 value) const
    {
        for (i32 g = 0; g < WriteGroupsUsed; ++g) {
            const TPortGroup<TOutHandler>& group = WriteGroups[g];
            if (((port ^ group.Value) & group.Mask) != 0)
                continue;
            for (i32 h = 0; h < group.Count; ++h)
                group.Handlers[h](value);
        }
    }

    // For the tests and a future ports view: the decode table as built.
    i32 GetReadGroupsUsed() const { return ReadGroupsUsed; }
    i32 GetWriteGroupsUsed() const { return WriteGroupsUsed; }
    const TPortGroup<TInHandler>& GetReadGroup(i32 index) const { return ReadGroups[index]; }
    const TPortGroup<TOutHandler>& GetWriteGroup(i32 index) const { return WriteGroups[index]; }

private:
    i32 ReadGroupsUsed = 0;
    i32 WriteGroupsUsed = 0;
    std::array<TPortGroup<TInHandler>, MaxGroups> ReadGroups;
    std::array<TPortGroup<TOutHandler>, MaxGroups> WriteGroups;
};
