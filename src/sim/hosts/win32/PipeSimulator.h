// Port 0, "Simulator", on Windows: the virtual controller on a named pipe
// inside the program, opened with the Win32 serial port.
#pragma once

#include "platform/win32/Win32SerialPort.h"
#include "sim/HostedSimulator.h"
#include "sim/hosts/win32/PipeHost.h"

namespace kv7::sim {

class PipeSimulator final : public HostedSimulator<PipeHost, Win32SerialPort> {
public:
    using HostedSimulator::HostedSimulator;
};

}  // namespace kv7::sim
