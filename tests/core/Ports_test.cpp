// The port bus and the device chain: decode groups, the AND of several
// answering devices, handler order, the group limits and their messages,
// disabled devices, and the chain's ownership.
#include "core/Beta_disk.h"
#include "core/Devices.h"
#include "core/Kempston_joystick.h"
#include "core/Kempston_mouse.h"
#include "core/Keyboard.h"
#include "core/Memory.h"
#include "core/Memory_pagination.h"
#include "core/Ports.h"
#include "tests/support/Test_settings.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

// An in-device that answers a fixed byte and counts its reads.
class TConstantDevice : public TDevice {
public:
    TConstantDevice(u16 value, u16 mask, u8 answer) : Answer(answer)
    {
        AllocatePorts(1);
        AddPort(new TPort(value, mask, TInHandler::Bind<TConstantDevice, &TConstantDevice::Read>(this)));
    }
    u8 Read(u16 port)
    {
        LastPort = port;
        ++Reads;
        return Answer;
    }
    u8 Answer;
    u16 LastPort = 0;
    int Reads = 0;
};

// An out-device that appends "<name>=<value>" to a shared log.
class TRecordingDevice : public TDevice {
public:
    TRecordingDevice(std::string name, u16 value, u16 mask, std::vector<std::string>& log)
        : Name(std::move(name)), Log(log)
    {
        AllocatePorts(1);
        AddPort(new TPort(value, mask, TOutHandler::Bind<TRecordingDevice, &TRecordingDevice::Write>(this)));
    }
    void Write(u8 value) { Log.push_back(Name + "=" + std::to_string(value)); }
    void Disable() { Enabled = 0; }

    std::string Name;
    std::vector<std::string>& Log;
};

// Records its reset and its destruction in a shared log.
class TTracedDevice : public TDevice {
public:
    TTracedDevice(std::string name, std::vector<std::string>& log, bool enabled = true)
        : Name(std::move(name)), Log(log)
    {
        Enabled = enabled ? 1 : 0;
    }
    ~TTracedDevice() override { Log.push_back("~" + Name); }
    void Reset() override { Log.push_back("reset " + Name); }

    std::string Name;
    std::vector<std::string>& Log;
};

struct TGroupRow {
    u16 Mask;
    u16 Value;
    int Handlers;
};

std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const TTextError& error) {
        return error.what();
    }
    return "";
}

class PortsTest : public ::testing::Test {
protected:
    TTestSettings Settings;
    TPorts Ports;
    std::vector<std::string> Log;
};

TEST_F(PortsTest, ReadAndsEveryMatchingHandlerAndUndecodedPortsReadFF)
{
    TConstantDevice high(0x00FE, 0x0001, 0xF0);
    TConstantDevice low(0x00FE, 0x0001, 0x3F);
    Ports.AddDevicePorts(high);
    Ports.AddDevicePorts(low);

    EXPECT_EQ(Ports.Read(0x00FE), 0x30);
    EXPECT_EQ(Ports.Read(0x7FFE), 0x30);  // partial decode: any even port
    EXPECT_EQ(high.LastPort, 0x7FFE);     // the handler sees the whole address
    EXPECT_EQ(Ports.Read(0x00FF), 0xFF);  // nothing decodes an odd port
    EXPECT_EQ(high.Reads, 2);
    EXPECT_EQ(Ports.GetReadGroupsUsed(), 1);
}

TEST_F(PortsTest, WriteReachesEveryMatchingHandlerInRegistrationOrder)
{
    TRecordingDevice mic("mic", Settings->MicPort, Settings->MicMask, Log);
    TRecordingDevice beeper("beeper", Settings->SpeakerPort, Settings->SpeakerMask, Log);
    TRecordingDevice border("border", Settings->BorderPort, Settings->BorderPortMask, Log);
    TRecordingDevice paging("paging", Settings->PagingPort, Settings->PagingMask, Log);
    for (TDevice* device : std::vector<TDevice*>{&paging, &mic, &beeper, &border})
        Ports.AddDevicePorts(*device);

    Ports.Write(0x00FE, 0x15);
    EXPECT_EQ(Log, (std::vector<std::string>{"mic=21", "beeper=21", "border=21"}));

    Log.clear();
    Ports.Write(0x7FFD, 0x10);  // bit 0 set: not the 0xFE group
    EXPECT_EQ(Log, (std::vector<std::string>{"paging=16"}));

    Log.clear();
    Ports.Write(0x00FF, 1);
    EXPECT_TRUE(Log.empty());
}

TEST_F(PortsTest, AnEleventhHandlerOpensASecondGroupWithTheSameDecode)
{
    std::vector<std::unique_ptr<TConstantDevice>> devices;
    for (int i = 0; i < 11; ++i) {
        devices.push_back(std::make_unique<TConstantDevice>(0x00FE, 0x0001, static_cast<u8>(~(1 << (i % 8)))));
        Ports.AddDevicePorts(*devices.back());
    }
    ASSERT_EQ(Ports.GetReadGroupsUsed(), 2);
    EXPECT_EQ(Ports.GetReadGroup(0).Count, 10);
    EXPECT_EQ(Ports.GetReadGroup(1).Count, 1);
    EXPECT_EQ(Ports.GetReadGroup(1).Mask, 0x0001);
    EXPECT_EQ(Ports.GetReadGroup(1).Value, 0x00FE);
    EXPECT_EQ(Ports.Read(0x00FE), 0x00);
    for (const auto& device : devices)
        EXPECT_EQ(device->Reads, 1);
}

TEST_F(PortsTest, GroupLimitsThrowTheirMessages)
{
    TConstantDevice reader(0, 0, 0);
    TRecordingDevice writer("w", 0, 0, Log);
    // 10 groups x 10 handlers fit in each direction.
    for (u16 g = 0; g < 10; ++g)
        for (int h = 0; h < 10; ++h) {
            Ports.AddPort(TPort(g, 0xFFFF, TInHandler::Bind<TConstantDevice, &TConstantDevice::Read>(&reader)));
            Ports.AddPort(TPort(g, 0xFFFF, TOutHandler::Bind<TRecordingDevice, &TRecordingDevice::Write>(&writer)));
        }
    EXPECT_EQ(Ports.GetReadGroupsUsed(), 10);
    EXPECT_EQ(Ports.GetWriteGroupsUsed(), 10);

    EXPECT_EQ(ErrorOf([&] {
        Ports.AddPort(TPort(3, 0xFFFF, TInHandler::Bind<TConstantDevice, &TConstantDevice::Read>(&reader)));
    }), "Too many read ports!");
    EXPECT_EQ(ErrorOf([&] {
        Ports.AddPort(TPort(10, 0xFFFF, TOutHandler::Bind<TRecordingDevice, &TRecordingDevice::Write>(&writer)));
    }), "Too many write ports!");

    // A device holds exactly the room it reserved.
    TDevice device;
    device.AllocatePorts(1);
    device.AddPort(new TPort(1, 1, TInHandler::Bind<TConstantDevice, &TConstantDevice::Read>(&reader)));
    EXPECT_EQ(ErrorOf([&] {
        device.AddPort(new TPort(2, 1, TInHandler::Bind<TConstantDevice, &TConstantDevice::Read>(&reader)));
    }), "Too many ports in device!");
    EXPECT_EQ(device.GetPortCount(), 1);

    Ports.Clear();
    EXPECT_EQ(Ports.GetReadGroupsUsed(), 0);
    EXPECT_EQ(Ports.GetWriteGroupsUsed(), 0);
    EXPECT_EQ(Ports.Read(0), 0xFF);
}

TEST_F(PortsTest, PortIterationEndsAtTheLastPortAndADeviceWithoutPortsGivesNone)
{
    TDevice empty;
    EXPECT_EQ(empty.FirstPort(), nullptr);
    EXPECT_TRUE(empty.IsPortsEnd());
    EXPECT_EQ(empty.NextPort(), nullptr);

    TKempstonMouse mouse;
    std::vector<u16> values;
    for (TPort* port = mouse.FirstPort(); port; port = mouse.NextPort())
        values.push_back(port->Value);
    EXPECT_EQ(values, (std::vector<u16>{0xFBDF, 0xFFDF, 0xFADF}));
    EXPECT_TRUE(mouse.IsPortsEnd());
    EXPECT_EQ(mouse.NextPort(), nullptr);

    // Reallocating drops the ports held.
    mouse.AllocatePorts(2);
    EXPECT_EQ(mouse.GetPortCount(), 0);
    EXPECT_EQ(mouse.FirstPort(), nullptr);
}

TEST_F(PortsTest, DisabledDevicesAddNoPortsAndAreNotReset)
{
    TRecordingDevice on("on", 0x00FE, 0x0001, Log);
    TRecordingDevice off("off", 0x00FE, 0x0001, Log);
    off.Disable();
    Ports.AddDevicePorts(on);
    Ports.AddDevicePorts(off);
    Ports.Write(0x00FE, 7);
    EXPECT_EQ(Log, (std::vector<std::string>{"on=7"}));

    Log.clear();
    {
        TDevices chain;
        chain.Add(new TTracedDevice("a", Log));
        chain.Add(new TTracedDevice("b", Log, false));
        chain.Add(new TTracedDevice("c", Log));
        chain.ResetAll();
        EXPECT_EQ(Log, (std::vector<std::string>{"reset a", "reset c"}));
        Log.clear();
    }
    // The chain deletes first to last, each through its own destructor.
    EXPECT_EQ(Log, (std::vector<std::string>{"~a", "~b", "~c"}));
}

// The chained devices, the AY, and the microphone, beeper and video chip
// registered as the computer does give the decode table of the default
// settings.
TEST_F(PortsTest, DefaultRegistrationBuildsTheExpectedDecodeTable)
{
    TMemory memory(TMemory::Model128);
    TDevices chain;
    chain.Add(new TMemoryPagination(memory, nullptr));
    auto* keyboard = new TKeyboard;
    chain.Add(keyboard);
    auto* joystick = new TKempstonJoystick;
    chain.Add(joystick);
    chain.Add(new TKempstonMouse);
    // A stand-in with the AY's three ports.
    TConstantDevice* ay = new TConstantDevice(Settings->AYSelectPort, Settings->AYSelectMask, 0x5A);
    ay->AllocatePorts(3);
    ay->AddPort(new TPort(Settings->AYSelectPort, Settings->AYSelectMask,
                          TInHandler::Bind<TConstantDevice, &TConstantDevice::Read>(ay)));
    TRecordingDevice ayWrites("select", Settings->AYSelectPort, Settings->AYSelectMask, Log);
    ay->AddPort(new TPort(Settings->AYSelectPort, Settings->AYSelectMask,
                          TOutHandler::Bind<TRecordingDevice, &TRecordingDevice::Write>(&ayWrites)));
    ay->AddPort(new TPort(Settings->AYWritePort, Settings->AYWriteMask,
                          TOutHandler::Bind<TRecordingDevice, &TRecordingDevice::Write>(&ayWrites)));
    chain.Add(ay);
    chain.Add(new TBetaDisk);
    TRecordingDevice mic("mic", Settings->MicPort, Settings->MicMask, Log);
    TRecordingDevice beeper("beeper", Settings->SpeakerPort, Settings->SpeakerMask, Log);
    TRecordingDevice border("border", Settings->BorderPort, Settings->BorderPortMask, Log);

    Ports.AddDeviceList(chain);
    Ports.AddDevicePorts(mic);
    Ports.AddDevicePorts(beeper);
    Ports.AddDevicePorts(border);

    const std::vector<TGroupRow> writes{
        {0x8002, 0x7FFD, 1}, {0xC002, 0xFFFD, 1}, {0xC002, 0xBFFD, 1}, {0x0001, 0x00FE, 3}};
    const std::vector<TGroupRow> reads{
        {0x0001, 0x00FE, 1}, {0x0020, 0x001F, 1}, {0x0720, 0xFBDF, 1},
        {0x0720, 0xFFDF, 1}, {0x0320, 0xFADF, 1}, {0xC002, 0xFFFD, 1}};
    ASSERT_EQ(Ports.GetWriteGroupsUsed(), static_cast<i32>(writes.size()));
    ASSERT_EQ(Ports.GetReadGroupsUsed(), static_cast<i32>(reads.size()));
    for (size_t i = 0; i < writes.size(); ++i) {
        const auto& group = Ports.GetWriteGroup(static_cast<i32>(i));
        EXPECT_EQ(group.Mask, writes[i].Mask) << "write group " << i;
        EXPECT_EQ(group.Value, writes[i].Value) << "write group " << i;
        EXPECT_EQ(group.Count, writes[i].Handlers) << "write group " << i;
    }
    for (size_t i = 0; i < reads.size(); ++i) {
        const auto& group = Ports.GetReadGroup(static_cast<i32>(i));
        EXPECT_EQ(group.Mask, reads[i].Mask) << "read group " << i;
        EXPECT_EQ(group.Value, reads[i].Value) << "read group " << i;
        EXPECT_EQ(group.Count, reads[i].Handlers) << "read group " << i;
    }

    // Partial decoding as the real machine has it: port 0xFE is the
    // keyboard alone (bit 5 set keeps the joystick out), and a read with
    // bit 5 clear includes the joystick byte, also on the mouse ports.
    keyboard->KeyDown(10);  // Q
    joystick->Press(TKempstonJoystick::Fire);
    EXPECT_EQ(Ports.Read(0xFBFE), 0xBE);
    EXPECT_EQ(Ports.Read(0x001F), 0x10);
    EXPECT_EQ(Ports.Read(0xFBDF), 0x00);  // mouse X 0 AND joystick
    EXPECT_EQ(Ports.Read(0x00FF), 0xFF);
    EXPECT_EQ(Ports.Read(0xFFFD), 0x5A);

    // An OUT to 0x7FFD reaches only the paging.
    Log.clear();
    Ports.Write(0x7FFD, 0x07);
    EXPECT_TRUE(Log.empty());
    EXPECT_EQ(memory.GetPagedBank(), 7);
}

TEST_F(PortsTest, TheDiskInterfaceAnswersNoPort)
{
    TBetaDisk disk;
    EXPECT_TRUE(disk.IsEnabled());
    EXPECT_EQ(disk.GetPortCount(), 0);
    Ports.AddDevicePorts(disk);
    EXPECT_EQ(Ports.GetReadGroupsUsed(), 0);
    EXPECT_EQ(Ports.GetWriteGroupsUsed(), 0);

    Settings->DiskInterface = 0;
    EXPECT_FALSE(TBetaDisk().IsEnabled());
}

}  // namespace
