#include "core/Kempston_mouse.h"

#include "core/Settings.h"

TKempstonMouse::TKempstonMouse()
{
    const TSettings& settings = *g_Settings;
    Enabled = settings.MouseEnabled ? 1 : 0;
    AllocatePorts(3);
    AddPort(new TPort(settings.MouseXPort, settings.MouseXMask,
                      TInHandler::Bind<TKempstonMouse, &TKempstonMouse::ReadX>(this)));
    AddPort(new TPort(settings.MouseYPort, settings.MouseYMask,
                      TInHandler::Bind<TKempstonMouse, &TKempstonMouse::ReadY>(this)));
    AddPort(new TPort(settings.MouseButtonsPort, settings.MouseButtonsMask,
                      TInHandler::Bind<TKempstonMouse, &TKempstonMouse::ReadButtons>(this)));
}

u8 TKempstonMouse::ReadX(u16)
{
    return X.load(std::memory_order_relaxed);
}

u8 TKempstonMouse::ReadY(u16)
{
    return Y.load(std::memory_order_relaxed);
}

u8 TKempstonMouse::ReadButtons(u16)
{
    return Buttons.load(std::memory_order_relaxed);
}

void TKempstonMouse::SetPosition(u8 x, u8 y)
{
    X.store(x, std::memory_order_relaxed);
    Y.store(y, std::memory_order_relaxed);
}
