// Which port --port names.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/Ports.h"

namespace kv7::cli {
namespace {

TEST(Ports, WindowsComPortNamesAreTheirNumbers)
{
    struct Case {
        const char* name;
        std::uint32_t number;
    };
    const Case cases[] = {
        {"COM1", 1},  {"COM3", 3},   {"com3", 3},   {"Com255", 255}, {"COM256", 0}, {"COM0", 0},
        {"COM", 0},   {"COMX", 0},   {"COM3x", 0},  {"LPT1", 0},     {"sim", 0},    {"", 0},
        {"COM-1", 0}, {" COM3", 0},  {"CO3", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(comPortNumber(c.name), c.number) << '"' << c.name << '"';
}

class OneAdapter final : public PortCatalog {
public:
    std::vector<PortEntry> entries() const override
    {
        return {{0, "Simulator", "", "", false}, {1, "ttyS0", "/dev/ttyS0", "", false},
                {2, "ttyUSB0", "/dev/ttyUSB0", "", true}};
    }
    bool resolve(std::uint32_t, PortBinding&) override { return false; }
};

TEST(Ports, PortArgumentsNameANumberOrAreRefused)
{
    struct Case {
        const char* port;
        int exitCode;
        std::uint32_t number;
    };
    const Case cases[] = {
        {"", 0, 2},      {"sim", 0, 0},  {"0", 0, 0},   {"17", 0, 17}, {"255", 0, 255},
        {"256", 2, 0},   {"COM3", 0, 3}, {"LPT1", 2, 0}, {"1000", 2, 0},
    };
    OneAdapter catalog;
    for (const Case& c : cases) {
        std::ostringstream err;
        Environment env;
        env.catalog = &catalog;
        env.err = &err;
        env.addDevice = [](const std::string& name) { return comPortNumber(name); };
        std::uint32_t number = 99;
        EXPECT_EQ(resolvePort(c.port, env, number), c.exitCode) << c.port;
        if (c.exitCode == 0)
            EXPECT_EQ(number, c.number) << c.port;
        else
            EXPECT_NE(err.str(), "") << c.port;
    }
}

}  // namespace
}  // namespace kv7::cli
