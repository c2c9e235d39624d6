// The addresses at which a run stops: PC is tested against them after every
// instruction. Only the computer uses them; while a run lasts its run-to
// address (Run to Cursor, Step Over) is the one entry.
//
// Duplicates are allowed: Add appends, Remove takes away the first match, so
// adding an address twice needs two removals.
#pragma once

#include "core/Types.h"

#include <vector>

class TBreakpoints {
public:
    TBreakpoints() = default;
    TBreakpoints(const TBreakpoints&) = delete;
    TBreakpoints& operator=(const TBreakpoints&) = delete;

    // Appends at the tail.
    void Add(u16 address);
    // Removes the first entry holding the address; nothing when there is none.
    void Remove(u16 address);

    // Runs after every instruction: with no entry it is one compare.
    bool Contains(u16 address) const
    {
        for (u16 entry : Addresses)
            if (entry == address)
                return true;
        return false;
    }

    bool IsEmpty() const { return Addresses.empty(); }
    i32 GetCount() const { return static_cast<i32>(Addresses.size()); }
    // The entries in the order they were added.
    const std::vector<u16>& GetAddresses() const { return Addresses; }

private:
    std::vector<u16> Addresses;
};
