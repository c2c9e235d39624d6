#include "core/Kempston_joystick.h"

#include "core/Settings.h"

TKempstonJoystick::TKempstonJoystick()
    : HighBits(g_Settings->JoystickHighBits ? 0xE0 : 0x00)
{
    Enabled = g_Settings->JoystickEnabled ? 1 : 0;
    AllocatePorts(1);
    AddPort(new TPort(g_Settings->JoystickPort, g_Settings->JoystickMask,
                      TInHandler::Bind<TKempstonJoystick, &TKempstonJoystick::PortRead>(this)));
}

u8 TKempstonJoystick::PortRead(u16)
{
    return GetState() | HighBits;
}
