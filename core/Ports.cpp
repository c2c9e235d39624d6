#include "core/Ports.h"

#include "core/Devices.h"

namespace {

// Tries the groups in order: an empty group, or one with the same decode and
// room left, takes the handler. Returns false when all of them refuse.
template <class THandler>
bool AddToGroups(std::array<TPortGroup<THandler>, TPorts::MaxGroups>& groups, i32& used,
                 const TPort& port, THandler handler)
{
    for (i32 g = 0; g < TPorts::MaxGroups; ++g) {
        TPortGroup<THandler>& group = groups[g];
        const bool accepts = group.Count == 0 ||
            (group.Mask == port.Mask && group.Value == port.Value &&
             group.Count < TPortGroup<THandler>::MaxHandlers);
        if (!accepts)
            continue;
        group.Mask = port.Mask;
        group.Value = port.Value;
        group.Handlers[group.Count++] = handler;
        if (used < g + 1)
            used = g + 1;
        return true;
    }
    return false;
}

}  // namespace

TPorts::TPorts()
{
    Clear();
}

void TPorts::Clear()
{
    ReadGroupsUsed = 0;
    WriteGroupsUsed = 0;
    ReadGroups.fill({});
    WriteGroups.fill({});
}

void TPorts::AddPort(const TPort& port)
{
    if (port.Direction == TPort::DirectionIn) {
        if (!AddToGroups(ReadGroups, ReadGroupsUsed, port, port.InHandler))
            throw TTextError("Too many read ports!");
    } else {
        if (!AddToGroups(WriteGroups, WriteGroupsUsed, port, port.OutHandler))
            throw TTextError("Too many write ports!");
    }
}

void TPorts::AddDevicePorts(TDevice& device)
{
    if (!device.IsEnabled())
        return;
    for (TPort* port = device.FirstPort(); port; port = device.NextPort())
        AddPort(*port);
}

void TPorts::AddDeviceList(const TDevices& devices)
{
    for (TDevice* device = devices.GetFirst(); device; device = device->GetNext())
        AddDevicePorts(*device);
}
