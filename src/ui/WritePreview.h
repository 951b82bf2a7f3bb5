// What a write to the controller will change, shown to the operator before
// anything is sent: the window's preview dialog and kv7ctl print the same
// lines. The controller's settings are compared as configuration snapshots,
// so a field has the same name here, in `kv7ctl info` and in a snapshot file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/Records.h"
#include "config/Snapshot.h"

namespace kv7 {

// Every snapshot field of the records, by the field table the window and
// kv7ctl info show. Identity and motor settings come from the parameters,
// the rest from the axis configuration.
config::Snapshot snapshotOf(const ControllerParameters& parameters, const AxisConfiguration& axes);

// "2026-12-07T20:30:00Z", as a snapshot's savedUtc.
std::string utcStamp(const UtcTime& t);

struct SettingChange {
    std::string field;    // "encoderFormat.raFlags"
    std::string before;   // "0"
    std::string after;    // "2"
};

// The fields that differ between what the controller holds and what it will
// hold after the write, in file order.
std::vector<SettingChange> settingChanges(const config::Snapshot& held, const config::Snapshot& after);

// The records as they will be once each write has been taken.
AxisConfiguration withEncoderFormat(AxisConfiguration axes, const EncoderFormat& format);
AxisConfiguration withCalibration(AxisConfiguration axes, std::uint8_t reverseBits, std::uint32_t raOffset,
                                  std::uint32_t decOffset);
ControllerParameters withMotorReversal(ControllerParameters parameters, std::uint8_t reverseBits,
                                       std::uint8_t extraByte);

// "encoderFormat.raFlags  0 -> 2", a line each.
std::string changeLines(const std::vector<SettingChange>& changes);

}  // namespace kv7
