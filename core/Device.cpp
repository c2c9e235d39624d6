#include "core/Device.h"

TDevice::~TDevice() = default;

void TDevice::AllocatePorts(i32 n)
{
    ClearPorts();
    PortCapacity = n > 0 ? n : 0;
    Ports.reserve(static_cast<size_t>(PortCapacity));
}

void TDevice::AddPort(TPort* port)
{
    std::unique_ptr<TPort> owned(port);
    if (PortCount >= PortCapacity)
        throw TTextError("Too many ports in device!");
    Ports.push_back(std::move(owned));
    ++PortCount;
}

void TDevice::ClearPorts()
{
    Ports.clear();
    PortCapacity = 0;
    PortCount = 0;
    Iterator = 0;
}

TPort* TDevice::FirstPort()
{
    Iterator = 0;
    return IsPortsEnd() ? nullptr : Ports[0].get();
}

bool TDevice::IsPortsEnd() const
{
    return Iterator >= PortCount;
}

TPort* TDevice::NextPort()
{
    if (Iterator < PortCount)
        ++Iterator;
    return IsPortsEnd() ? nullptr : Ports[static_cast<size_t>(Iterator)].get();
}
