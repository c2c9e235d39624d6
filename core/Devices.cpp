#include "core/Devices.h"

TDevices::~TDevices()
{
    TDevice* device = First;
    while (device) {
        TDevice* next = device->Next;
        delete device;
        device = next;
    }
}

void TDevices::Add(TDevice* device)
{
    device->Next = nullptr;
    if (Last)
        Last->Next = device;
    else
        First = device;
    Last = device;
}

void TDevices::ResetAll()
{
    for (TDevice* device = First; device; device = device->Next)
        if (device->IsEnabled())
            device->Reset();
}
