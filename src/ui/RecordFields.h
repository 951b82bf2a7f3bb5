// The fields of the controller's records as they are shown: one row per
// field, with the name kv7ctl prints and writes as the JSON key, how its
// value is read from the records, and where the main window shows it. The
// window and `kv7ctl info` / `read-encoders` walk these same rows, so a
// field reads the same in both.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "app/Records.h"
#include "ui/DialogModel.h"

namespace kv7 {

// A field's value: one number, a list of them, two lists (RA then Dec), or
// arcseconds to be written as signed degrees:minutes:seconds.
struct FieldValue {
    enum class Kind : std::uint8_t { Number, List, TwoLists, Dms };
    Kind kind = Kind::Number;
    std::uint8_t count = 1;            // numbers held in v; two lists split it in half
    std::uint64_t v[6] = {};
};

// "123", "[1,2]", "[1,2,3] [4,5,6]" or "+012:30:00": how kv7ctl prints it.
std::string fieldText(const FieldValue& value);

// Where a configuration field sits in kv7ctl's output: the controller
// parameters, the encoder format inside the axis configuration, or the
// axis configuration itself.
enum class FieldGroup : std::uint8_t { Parameters, EncoderFormat, AxisConfiguration };

struct ConfigurationField {
    const char* name;
    FieldGroup group;
    FieldValue (*value)(const ControllerParameters&, const AxisConfiguration&);
    int windowField;        // the main window's field that shows the number; 0: not shown
    int windowChecks[2];    // the check boxes that show bits 0 and 1; 0: none
};

// Every field of both records, in the records' order.
std::span<const ConfigurationField> configurationFields();

struct MountStateField {
    const char* name;
    FieldValue (*value)(const MountState&);
    int windowField;        // 0: not shown
};

// Every field of an encoder reading as kv7ctl writes it.
std::span<const MountStateField> mountStateFields();

// Fill the main window's fields from the rows that have one.
void showConfigurationFields(iControlSurface& dialog, const ControllerParameters& parameters,
                             const AxisConfiguration& axes);
void showMountStateFields(iControlSurface& dialog, const MountState& mountState);

}  // namespace kv7
