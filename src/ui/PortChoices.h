// The port list of the main window, made from a port catalogue's entries:
// the catalogue alone knows which ports there are and what they are called.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/PortCatalog.h"

namespace kv7 {

// One entry of the port list: its text and the port number Connect sends.
struct PortChoice {
    std::uint32_t number = 0;
    std::string label;
};

struct PortChoices {
    std::vector<PortChoice> entries;
    std::size_t preselected = 0;
};

// Windows: the catalogue's entries in its order and by its names (COM1 to
// COM255, then "Simulator" where COM256 would be, since the connect message
// carries the number in one byte). A port that exists (one with a
// description) shows it after its name, "COM3 - USBSER000"; the first such
// is preselected, or the simulator when no COM port exists.
PortChoices comPortChoices(const std::vector<PortEntry>& entries);

// A catalogue's real devices in its order, then "Simulator" (number 0). The
// first plug-in adapter is preselected, or the simulator when there is none:
// a port built into the machine (ttyS) rarely has a controller behind it.
PortChoices catalogPortChoices(const std::vector<PortEntry>& entries);

}  // namespace kv7
