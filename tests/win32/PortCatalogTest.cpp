// The Windows port list and what each number opens.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win32/WindowsPortCatalog.h"
#include "sim/hosts/win32/PipeSimulator.h"

namespace kv7::test {
namespace {

TEST(WindowsPortCatalog, ListsCom1ToCom255ThenTheSimulatorInPlaceOfCom256)
{
    WindowsPortCatalog catalog;
    const std::vector<PortEntry> entries = catalog.entries();
    ASSERT_EQ(entries.size(), 256u);
    for (std::uint32_t n = 1; n <= 255; ++n) {
        const PortEntry& e = entries[n - 1];
        EXPECT_EQ(e.number, n);
        EXPECT_EQ(e.name, "COM" + std::to_string(n));
        EXPECT_EQ(e.device, "\\\\.\\COM" + std::to_string(n));
    }
    EXPECT_EQ(entries.back().number, 0u);
    EXPECT_EQ(entries.back().name, "Simulator");
}

TEST(WindowsPortCatalog, PortsTheSerialPortMapListsCarryTheirDeviceAndTheRestNone)
{
    WindowsPortCatalog catalog([] {
        return std::vector<PresentPort>{{3, "\\Device\\Serial2"}, {255, "\\Device\\USBSER000"}, {7, "VCP0"}};
    });
    const std::vector<PortEntry> entries = catalog.entries();
    ASSERT_EQ(entries.size(), 256u);
    for (std::uint32_t n = 1; n <= 255; ++n) {
        const char* expected = n == 3 ? "Serial2" : n == 255 ? "USBSER000" : n == 7 ? "VCP0" : "";
        EXPECT_EQ(entries[n - 1].description, expected) << n;
    }
    // The machine's own map names only ports the list can hold.
    for (const auto& [number, device] : registrySerialPorts()) {
        EXPECT_GE(number, 1u) << device;
        EXPECT_LE(number, 255u) << device;
    }
}

TEST(WindowsPortCatalog, ResolvesComNumbersToDeviceNamesAndRefusesOthers)
{
    WindowsPortCatalog catalog;
    PortBinding binding;
    ASSERT_TRUE(catalog.resolve(3, binding));
    EXPECT_STREQ(binding.device, "\\\\.\\COM3");
    EXPECT_NE(binding.port, nullptr);
    EXPECT_FALSE(binding.simulated);

    // Two digits and more need the \\.\ form; the same port object serves all.
    PortBinding high;
    ASSERT_TRUE(catalog.resolve(255, high));
    EXPECT_STREQ(high.device, "\\\\.\\COM255");
    EXPECT_EQ(high.port, binding.port);

    PortBinding none;
    EXPECT_FALSE(catalog.resolve(256, none));
    // No simulator given: port 0 cannot be opened.
    EXPECT_FALSE(catalog.resolve(0, none));
}

TEST(WindowsPortCatalog, PortZeroIsTheBuiltInSimulatorOnAPipe)
{
    sim::PipeSimulator simulator;
    WindowsPortCatalog catalog;
    catalog.setSimulator(&simulator);
    PortBinding binding;
    ASSERT_TRUE(catalog.resolve(0, binding));
    EXPECT_TRUE(binding.simulated);
    EXPECT_EQ(std::strncmp(binding.device, "\\\\.\\pipe\\", 9), 0) << binding.device;
    ASSERT_NE(binding.port, nullptr);
    EXPECT_TRUE(binding.port->open(binding.device, 9600));
    binding.port->close();
}

}  // namespace
}  // namespace kv7::test
