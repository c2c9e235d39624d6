// The base of every emulated peripheral and the ports it answers.
//
// A device owns its TPort records; the computer registers them once on the
// port bus (TPorts), which then calls the bound handlers on every IN and OUT.
#pragma once

#include "core/Types.h"

#include <memory>
#include <vector>

// A handler bound to one object: a plain function pointer that casts the
// object back and calls the member. Cheaper than std::function (no
// allocation, no type-erased copy) and small enough for the bus's arrays.
//   TInHandler::Bind<TKeyboard, &TKeyboard::PortRead>(this)
class TInHandler {
public:
    TInHandler() = default;

    template <class TObject, u8 (TObject::*Method)(u16)>
    static TInHandler Bind(TObject* object)
    {
        return TInHandler(object, [](void* target, u16 port) -> u8 {
            return (static_cast<TObject*>(target)->*Method)(port);
        });
    }

    u8 operator()(u16 port) const { return Function(Object, port); }
    explicit operator bool() const { return Function != nullptr; }

private:
    using TFunction = u8 (*)(void*, u16);
    TInHandler(void* object, TFunction function) : Object(object), Function(function) {}

    void* Object = nullptr;
    TFunction Function = nullptr;
};

// An out-handler takes only the byte written, not the port address.
//   TOutHandler::Bind<TMemoryPagination, &TMemoryPagination::PortWrite>(this)
class TOutHandler {
public:
    TOutHandler() = default;

    template <class TObject, void (TObject::*Method)(u8)>
    static TOutHandler Bind(TObject* object)
    {
        return TOutHandler(object, [](void* target, u8 value) {
            (static_cast<TObject*>(target)->*Method)(value);
        });
    }

    void operator()(u8 value) const { Function(Object, value); }
    explicit operator bool() const { return Function != nullptr; }

private:
    using TFunction = void (*)(void*, u8);
    TOutHandler(void* object, TFunction function) : Object(object), Function(function) {}

    void* Object = nullptr;
    TFunction Function = nullptr;
};

// One decoded port: it answers every address A with ((A ^ Value) & Mask) == 0.
// Only the handler of its direction is set.
struct TPort {
    static constexpr u32 DirectionIn = 0;
    static constexpr u32 DirectionOut = 1;

    TPort(u16 value, u16 mask, TInHandler handler)
        : Value(value), Mask(mask), Direction(DirectionIn), InHandler(handler) {}
    TPort(u16 value, u16 mask, TOutHandler handler)
        : Value(value), Mask(mask), Direction(DirectionOut), OutHandler(handler) {}

    bool Matches(u16 address) const { return ((address ^ Value) & Mask) == 0; }

    u16 Value;
    u16 Mask;
    u32 Direction;
    TInHandler InHandler;
    TOutHandler OutHandler;
};

class TDevice {
public:
    TDevice() = default;
    // Virtual so that the device chain deletes each device through its own
    // destructor; the ports go with the base.
    virtual ~TDevice();
    TDevice(const TDevice&) = delete;
    TDevice& operator=(const TDevice&) = delete;

    // Back to the power-on state (the computer's reset, through TDevices).
    virtual void Reset() {}
    // Rebuilds per-frame buffers from the settings (the sound devices).
    virtual void Prepare() {}

    // Deletes any ports held and reserves room for exactly n.
    void AllocatePorts(i32 n);
    // Takes ownership; throws "Too many ports in device!" when the room
    // reserved by AllocatePorts is used up (the port is deleted then).
    void AddPort(TPort* port);
    void ClearPorts();

    bool IsEnabled() const { return Enabled != 0; }

    // Port iteration: FirstPort and NextPort give nullptr once past the last
    // port added, so a device without ports yields none at all.
    TPort* FirstPort();
    bool IsPortsEnd() const;
    TPort* NextPort();

    i32 GetPortCount() const { return PortCount; }
    TDevice* GetNext() const { return Next; }

protected:
    // 1 after construction; a device's constructor may clear it from the
    // settings (a disabled device adds no ports and is not reset).
    u8 Enabled = 1;

private:
    friend class TDevices;

    i32 PortCapacity = 0;
    i32 PortCount = 0;
    i32 Iterator = 0;
    std::vector<std::unique_ptr<TPort>> Ports;
    TDevice* Next = nullptr;
};
