// Port 0, "Simulator", on POSIX: the virtual controller on a private
// pseudo-terminal, opened with the POSIX serial port.
#pragma once

#include "platform/posix/PosixSerialPort.h"
#include "sim/HostedSimulator.h"
#include "sim/hosts/PtyHost.h"

namespace kv7::sim {

class BuiltInSimulator final : public HostedSimulator<PtyHost, PosixSerialPort> {
public:
    using HostedSimulator::HostedSimulator;
};

}  // namespace kv7::sim
