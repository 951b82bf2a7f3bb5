#include "cli/Ports.h"

#include <cctype>
#include <cstdio>

#include "cli/Json.h"
#include "cli/OptionTable.h"

namespace kv7::cli {

int resolvePort(const std::string& p, Environment& env, std::uint32_t& number)
{
    number = 0;
    if (p.empty()) {
        for (const PortEntry& e : env.catalog->entries()) {
            if (e.number != 0 && e.adapter) {
                number = e.number;
                break;
            }
        }
        return 0;
    }
    if (p == "sim")
        return 0;
    if (p.find_first_not_of("0123456789") == std::string::npos && p.size() <= 3) {
        number = static_cast<std::uint32_t>(std::stoul(p));
        if (number > 255) {
            *env.err << "kv7ctl: port number " << p << " is out of range (0 to 255)\n";
            return 2;
        }
        return 0;
    }
    number = env.addDevice ? env.addDevice(p) : 0;
    if (number == 0) {
        *env.err << "kv7ctl: cannot use " << p << " as a port\n";
        return 2;
    }
    return 0;
}

std::uint32_t comPortNumber(const std::string& name)
{
    if (name.size() < 4)
        return 0;
    for (std::size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return 0;
    }
    std::uint64_t n = 0;
    return parseUnsigned(name.substr(3), 255, n) ? static_cast<std::uint32_t>(n) : 0;
}

int listPorts(const Options& o, Environment& env)
{
    for (const PortEntry& e : env.catalog->entries()) {
        if (o.json) {
            *env.out << Json()
                            .num("number", std::uint64_t{e.number})
                            .str("name", e.name)
                            .str("device", e.device)
                            .str("description", e.description)
                            .text()
                     << "\n";
            continue;
        }
        char b[16];
        std::snprintf(b, sizeof b, "%3u  ", e.number);
        *env.out << b << e.name;
        if (!e.device.empty() && e.device != e.name)
            *env.out << "  " << e.device;
        if (!e.description.empty())
            *env.out << "  (" << e.description << ")";
        *env.out << "\n";
    }
    return 0;
}

}  // namespace kv7::cli
