#include "core/Breakpoints.h"

#include <algorithm>

void TBreakpoints::Add(u16 address)
{
    Addresses.push_back(address);
}

void TBreakpoints::Remove(u16 address)
{
    const auto found = std::find(Addresses.begin(), Addresses.end(), address);
    if (found != Addresses.end())
        Addresses.erase(found);
}
