#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "devicelink/BKQuillex.h"
#include "sim/DeviceLines.h"
#include "tests/support/SimulatedPorts.h"

using ::testing::ElementsAre;

namespace {

sim::DeviceConfig Device(uint8_t major, uint8_t minor, char letter) {
    sim::DeviceConfig c;
    c.major = major;
    c.minor = minor;
    c.letter = letter;
    return c;
}

struct Found {
    uint32_t flags;
    std::string description;
};

// Detection with the given device alone as COM1.
Found DetectAlone(const sim::DeviceConfig& config, TracedDevice* t = nullptr) {
    OneSimulatedPort port(config);
    TracedDevice local;
    if (t == nullptr)
        t = &local;
    char text[kTextCapacity] = "previous";
    FirmwareVersion version{};
    uint32_t flags = t->device.DetectHardware(text, kTextCapacity, &version, 0);
    t->device.ClosePort();
    return {flags, text};
}

}  // namespace

TEST(RequestFirmwareVersion, ReplyValidity) {
    struct Case {
        uint8_t major, minor;
        char letter;
        int expected;
    };
    const Case cases[] = {
        {'V', 'V', 'x', QX_E_INVALID_RESPONSE},
        {0, 0, 'Q', QX_E_INVALID_RESPONSE},
        {0, 5, 'Q', QX_S_OK},
        {'V', 1, 'Q', QX_S_OK},
        {2, 12, '-', QX_E_INVALID_RESPONSE},
        {2, 12, '7', QX_S_OK},
    };
    for (const Case& c : cases) {
        OneSimulatedPort port(Device(c.major, c.minor, c.letter));
        TracedDevice t;
        ASSERT_EQ(QX_S_OK, t.device.InitPort("COM1", 115200));
        t.trace.Clear();
        FirmwareVersion out{9, 9, '9'};
        EXPECT_EQ(c.expected, t.device.RequestFirmwareVersion(&out)) << int(c.major) << c.letter;
        EXPECT_EQ(c.major, t.device.FirmwareVersion.Major) << "kept, valid or not";
        EXPECT_EQ(c.letter, t.device.FirmwareVersion.Letter);
        EXPECT_EQ(c.expected == QX_S_OK ? c.minor : 9, out.Minor);
        EXPECT_EQ("BKQuillex: Firmware Version string requested", t.Lines().front());
        EXPECT_EQ("BKQuillex: Comm Read Timeout Set To 300 ms", t.Lines().back());
        EXPECT_THAT(port.Device().Exchanges().back().request, ElementsAre(0x56, 0x56));
    }
}

TEST(RequestFirmwareVersion, FailuresOfThePort) {
    TracedDevice closed;
    EXPECT_EQ(QX_E_PORT_NOT_INITIALIZED, closed.device.RequestFirmwareVersion(nullptr));

    OneSimulatedPort port;
    TracedDevice t;
    ASSERT_EQ(QX_S_OK, t.device.InitPort("COM1", 115200));
    port.Device().InjectFault("VV", {sim::FaultKind::NoReply, 0, 0, 1});
    EXPECT_EQ(QX_E_INVALID_RESPONSE, t.device.RequestFirmwareVersion(nullptr));
    EXPECT_EQ(0, t.device.FirmwareVersion.Major) << "cleared before the request";
    port.Device().InjectFault("VV", {sim::FaultKind::Disconnect});
    EXPECT_EQ(QX_E_COMM_READ_FAILURE, t.device.RequestFirmwareVersion(nullptr));
    EXPECT_EQ(QX_E_COMM_WRITE_FAILURE, t.device.RequestFirmwareVersion(nullptr));
    EXPECT_EQ(1, t.device.PortLockFree.load());
}

TEST(DetectHardware, FindsADeviceAt921600BehindTwoSilentPorts) {
    auto silent1 = sim::CreateDeviceLine();
    auto silent2 = sim::CreateDeviceLine();
    sim::DeviceConfig config = Device(2, 12, 'Q');
    config.initialBaud = 921600;
    sim::VirtualDevice device(config);
    ASSERT_TRUE(device.Start());
    ScopedPortTable table({silent1->HostPath(), silent2->HostPath(), device.PortPath()});
    TracedDevice t;

    char text[kTextCapacity];
    FirmwareVersion version{};
    EXPECT_EQ(0x8485u, t.device.DetectHardware(text, kTextCapacity, &version, 0));
    EXPECT_STREQ("Quillex USB v2.12.Q", text);
    EXPECT_EQ(12, version.Minor);
    EXPECT_EQ(3, t.device.ComPortNumber);
    EXPECT_EQ(2u, t.device.LastPortIndex);
    EXPECT_EQ(0u, t.device.LastBaudCode);
    EXPECT_EQ(0u, t.device.UsbBaudCode);
    // The request at 115200 reached the device as noise; the one at 921600 counted.
    std::vector<sim::Exchange> log = device.Exchanges();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ("VV", log.front().command);
    EXPECT_EQ(6u, device.ReceivedBytes().size() - RequestBytes(log).size() + 4)
        << "two requests were lost at the wrong speeds";

    t.device.ClosePort();
    EXPECT_EQ(115200u, device.CurrentBaud()) << "closing brings the device back";
}

TEST(DetectHardware, FindsADeviceAt19200AndKeepsCode7) {
    sim::DeviceConfig config = Device(2, 11, 'Q');
    config.initialBaud = 19200;
    OneSimulatedPort port(config);
    TracedDevice t;
    char text[kTextCapacity];
    EXPECT_EQ(0x8485u, t.device.DetectHardware(text, kTextCapacity, nullptr, 0));
    EXPECT_EQ(7u, t.device.UsbBaudCode);
    EXPECT_EQ(7u, t.device.LastBaudCode);
    platform::LineState state;
    ASSERT_TRUE(t.device.PortHandle->GetState(&state));
    EXPECT_EQ(19200u, state.BaudRate);
}

TEST(DetectHardware, StartPortOptionsAndWrapAround) {
    OneSimulatedPort port;
    TracedDevice t;
    t.device.LastPortIndex = 6;
    EXPECT_EQ(0x8485u, t.device.DetectHardware(nullptr, 0, nullptr, kDetectFromFirstPort));
    EXPECT_EQ(6u, t.device.LastPortIndex) << "not remembered";
    EXPECT_THAT(t.Lines().front(), ::testing::StartsWith("BKQuillex: COM1 "));

    // From index 5 the scan runs to COM255, wraps and finds the device on COM1.
    t.device.ClosePort();
    t.trace.Clear();
    t.device.LastPortIndex = 5;
    EXPECT_EQ(0x8485u, t.device.DetectHardware(nullptr, 0, nullptr, 0));
    EXPECT_EQ(0u, t.device.LastPortIndex);
    std::vector<std::string> lines = t.Lines();
    EXPECT_EQ("BKQuillex: COM6 is not in the port table", lines.front());
    EXPECT_TRUE(t.HasLine("BKQuillex: COM255 init failed with error QX_E_PORT_NOT_INITIALIZED."));
    EXPECT_TRUE(t.HasLine("BKQuillex: COM1 Successfully initialized at 115200 baud."));
}

TEST(DetectHardware, NothingFound) {
    ScopedPortTable table({});
    TracedDevice t;
    t.device.FirmwareVersion = {1, 2, 'Q'};
    char text[kTextCapacity] = "old";
    FirmwareVersion version{7, 7, '7'};
    EXPECT_EQ(0u, t.device.DetectHardware(text, kTextCapacity, &version, 0));
    EXPECT_STREQ("", text);
    EXPECT_EQ(7, version.Major) << "not written";
    EXPECT_EQ(0, t.device.FirmwareVersion.Major);
    EXPECT_EQ(0, t.device.PortOpen);

    // A device that answers with an unknown letter is no device of ours.
    EXPECT_EQ(0u, DetectAlone(Device(1, 0, 'X')).flags);
}

TEST(IdentifyHardware, EveryFamilyGivesItsFlagWordAndDescription) {
    struct Case {
        char letter;
        char interfaceLetter;
        uint32_t flags;
        const char* description;
    };
    const Case cases[] = {
        {'Q', 'U', 0x8485, "Quillex USB v2.12.Q"},
        {'N', 'S', 0xC101, "Nerrin Serial v2.12.N"},
        {'P', 'B', 0x0609, "Varro & Pell Bluetooth v2.12.P"},
        {'L', 'U', 0x8091, "Tessaly USB v2.12.L"},
        {'D', 'U', 0xA081, "Dunmarra USB v2.12.D"},
        {'1', 'U', 0x8042, "Sundral I v2.12.1"},
        {'2', 'U', 0x8022, "Sundral II v2.12.2"},
        {'K', 'U', 0x9800, "Vantelle v2.12.K"},
    };
    for (const Case& c : cases) {
        sim::DeviceConfig config = Device(2, 12, c.letter);
        config.interfaceLetter = c.interfaceLetter;
        Found found = DetectAlone(config);
        EXPECT_EQ(c.flags, found.flags) << c.letter;
        EXPECT_EQ(c.description, found.description);
    }
}

TEST(IdentifyHardware, FallsBackOnTheVersionLetterWhenConfigurationIsSilent) {
    struct Case {
        char letter;
        uint32_t flags;
        const char* description;
    };
    const Case cases[] = {
        {'Q', 0x8405, "Quillex v2.12.Q"},      {'N', 0xC081, "Nerrin USB v2.12.N"},
        {'P', 0x0409, "Varro & Pell v2.12.P"}, {'L', 0x8091, "Tessaly USB v2.12.L"},
        {'D', 0xA081, "Dunmarra USB v2.12.D"},
    };
    for (const Case& c : cases) {
        sim::DeviceConfig config = Device(2, 12, c.letter);
        config.configMemorySilent = true;
        Found found = DetectAlone(config);
        EXPECT_EQ(c.flags, found.flags) << c.letter;
        EXPECT_EQ(c.description, found.description);
    }
}

TEST(IdentifyHardware, WhatIsReadAndLogged) {
    // 'K' reads no configuration memory.
    {
        OneSimulatedPort port(Device(1, 3, 'K'));
        TracedDevice t;
        EXPECT_EQ(0x9800u, t.device.DetectHardware(nullptr, 0, nullptr, 0));
        for (const sim::Exchange& e : port.Device().Exchanges())
            EXPECT_EQ("VV", e.command);
    }
    // A Tessaly's banks are read after the hardware block.
    {
        OneSimulatedPort port(Device(10, 5, 'L'));
        TracedDevice t;
        ASSERT_EQ(QX_S_OK, t.device.InitPort("COM1", 115200));
        t.device.FirmwareVersion = {10, 5, 'L'};
        t.device.HardwareFlags = 0x8091;
        ASSERT_EQ(QX_S_OK, t.device.SetBank(8, 0, 0, 0));
        ASSERT_EQ(QX_S_OK, t.device.SetBank(6, 1, 0, 0));
        t.device.ClosePort();
        port.Device().ClearLog();
        EXPECT_EQ(0x8091u, t.device.DetectHardware(nullptr, 0, nullptr, 0));
        std::vector<std::string> commands;
        for (const sim::Exchange& e : port.Device().Exchanges())
            commands.push_back(e.command);
        EXPECT_THAT(commands,
                    ElementsAre("VV", "HR", "HR", "HR", "HR", "HR", "HR", "HR", "B", "B"));
        EXPECT_EQ(8, t.device.EmulationBank);
        EXPECT_EQ(6, t.device.ReadWriteBank);
    }
    // An unknown interface letter adds no interface and says so.
    {
        sim::DeviceConfig config = Device(2, 12, 'Q');
        config.interfaceLetter = 'Z';
        TracedDevice t;
        EXPECT_EQ(0x8405u, DetectAlone(config, &t).flags);
        EXPECT_TRUE(t.HasLine("BrevikWare: Could not get communication interface type."));
        EXPECT_TRUE(t.HasLine("BKQuillex: Hardware Version Information requested"));
    }
    BKQuillex q;
    EXPECT_EQ(QX_E_INVALID_FUNC_PARAM, q.ReadHardwareVersion(nullptr));
    FirmwareVersion x{1, 0, 'X'};
    EXPECT_EQ(0u, q.IdentifyHardware(&x));
}

TEST(GetHardwareDescription, NamesInterfacesVersionsAndLimits) {
    BKQuillex q;
    char text[kTextCapacity] = "";
    q.GetHardwareDescription(0x8091, nullptr, text, kTextCapacity);
    EXPECT_STREQ("Tessaly USB", text);
    q.GetHardwareDescription(0x8405, nullptr, text, kTextCapacity);
    EXPECT_STREQ("Quillex", text);
    const FirmwareVersion v{2, 12, 'Q'};
    q.GetHardwareDescription(0x8485, &v, text, kTextCapacity);
    EXPECT_STREQ("Quillex USB v2.12.Q", text);

    std::strcpy(text, "kept");
    q.GetHardwareDescription(0x0060, &v, text, kTextCapacity);
    EXPECT_STREQ("kept", text) << "Sundral I and II at once";
    q.GetHardwareDescription(0x040C, &v, text, kTextCapacity);
    EXPECT_STREQ("kept", text) << "Quillex and Varro & Pell at once";
    q.GetHardwareDescription(0x0081, nullptr, text, kTextCapacity);
    EXPECT_STREQ("kept USB", text) << "no type bit keeps the text";
    q.GetHardwareDescription(0x8405, &v, text, -1);
    EXPECT_STREQ("kept USB", text) << "a negative size writes nothing";
    q.GetHardwareDescription(0x6000, nullptr, text, kTextCapacity);
    EXPECT_STREQ("Nerrin", text) << "the last type bit wins";
    q.GetHardwareDescription(0x8485, &v, text, 8);
    EXPECT_STREQ("Quillex", text) << "cut to the capacity";
    q.GetHardwareDescription(0x8485, &v, nullptr, kTextCapacity);
}
