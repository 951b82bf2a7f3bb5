// The main window's configuration snapshots: saved from the records the
// connect sequence read, restored by the same requests as the window's own
// controls, after a preview, and read back over a new connection.
#include <algorithm>

#include "app/StatusText.h"
#include "ui/ControlIds.h"
#include "ui/DlgMain.h"
#include "ui/SnapshotDialog.h"
#include "ui/WritePreviewDialog.h"

namespace kv7 {

namespace {

std::string baseName(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool writable(const config::Difference& d) { return config::fieldSpecs()[d.index].writer != config::Writer::None; }

// The records with every writable field of the file in place of the
// controller's; the rest stays as the controller holds it.
void takeWritableFields(const config::Snapshot& file, ControllerParameters& p, AxisConfiguration& a)
{
    const auto n = [&](const char* name) { return file.number(name); };
    EncoderFormat& f = a.encoderFormat;
    f.raFlags = static_cast<std::uint8_t>(n("raFlags"));
    f.decFlags = static_cast<std::uint8_t>(n("decFlags"));
    f.raLeadingBits = static_cast<std::uint8_t>(n("raLeadingBits"));
    f.raBitsPerRevolution = static_cast<std::uint8_t>(n("raBitsPerRevolution"));
    f.raBitsForRevolutions = static_cast<std::uint8_t>(n("raBitsForRevolutions"));
    f.decLeadingBits = static_cast<std::uint8_t>(n("decLeadingBits"));
    f.decBitsPerRevolution = static_cast<std::uint8_t>(n("decBitsPerRevolution"));
    f.decBitsForRevolutions = static_cast<std::uint8_t>(n("decBitsForRevolutions"));
    a = withCalibration(a, static_cast<std::uint8_t>(n("reverseEncoderBits")),
                        static_cast<std::uint32_t>(n("raEncoderOffset")),
                        static_cast<std::uint32_t>(n("decEncoderOffset")));
    p = withMotorReversal(p, static_cast<std::uint8_t>(n("reverseMotorBits")),
                          static_cast<std::uint8_t>(n("motorExtraByte")));
}

}  // namespace

void DlgMain::snapshot(int)
{
    bool preview = options.previewWrites;
    const int chosen = showSnapshotDialog(*host, preview);
    if (preview != options.previewWrites)
        keepPreviewing(preview);
    if (chosen == SnapshotId::Close)
        return;
    if (!connected) {
        showMessage("Connect first: a snapshot is the controller's.");
        return;
    }
    std::string path = snapshotPath;
    const bool save = chosen == SnapshotId::Save;
    if (!host->chooseFile(save, save ? "Save configuration snapshot" : "Restore configuration snapshot", path))
        return;
    snapshotPath = path;
    if (save)
        saveSnapshot(path);
    else
        restoreSnapshot(path);
}

void DlgMain::saveSnapshot(const std::string& path)
{
    config::Snapshot s = snapshotOf(model->parameters, model->axisConfiguration);
    s.savedUtc = utcStamp(model->utcNow());
    s.port = connectedPortName;
    s.program = programName;
    std::string error;
    if (!files.write || !files.write(path, config::writeSnapshot(s), error)) {
        showMessage(("Snapshot not saved: " + (files.write ? error : std::string("no files here"))).c_str());
        return;
    }
    showMessage(("Snapshot saved: " + baseName(path)).c_str());
}

void DlgMain::restoreSnapshot(const std::string& path)
{
    std::string text;
    std::string error;
    config::Snapshot file;
    if (!files.read || !files.read(path, config::maxFileBytes, text, error) ||
        !config::readSnapshot(text, file, error)) {
        showMessage(("Not restored: " + (files.read ? error : std::string("no files here"))).c_str());
        return;
    }
    const config::Snapshot held = snapshotOf(model->parameters, model->axisConfiguration);
    if (const std::string why = config::modelMismatch(file, held); !why.empty()) {
        showMessage(("Not restored: " + why).c_str());
        return;
    }
    ControllerParameters p = model->parameters;
    AxisConfiguration a = model->axisConfiguration;
    takeWritableFields(file, p, a);
    const auto found = config::differences(file, held);
    if (std::none_of(found.begin(), found.end(), writable)) {
        showMessage(found.empty() ? "The controller holds the snapshot already." : "Nothing here can be restored.");
        return;
    }
    if (!confirmWrite("The restore writes these settings to the controller:", p, a))
        return;
    sendRestore(p, a);
    restoreToVerify = file;
}

void DlgMain::sendRestore(const ControllerParameters& p, const AxisConfiguration& a)
{
    const auto changed = config::differences(snapshotOf(p, a), snapshotOf(model->parameters, model->axisConfiguration));
    const auto writes = [&](config::Writer w) {
        return std::any_of(changed.begin(), changed.end(),
                           [w](const config::Difference& d) { return config::fieldSpecs()[d.index].writer == w; });
    };
    if (writes(config::Writer::EncoderFormat))
        useEncoderFormat(a.encoderFormat, true);
    if (writes(config::Writer::EncoderCalibration))
        control->setEncoderCalibration(a.reverseEncoderBits, a.raEncoderOffset, a.decEncoderOffset);
    if (writes(config::Writer::MotorReversal))
        control->setMotorReversal(p.reverseMotorBits, p.motorExtraByte);
    model->parameters = p;
    model->axisConfiguration = a;
    // Two of the writes have no reply of their own: a reading of the axes
    // after them is answered only once the controller has taken them. Then
    // the connect sequence reads everything again (readBackRestore).
    showMessage("Restore sent; reading it back...");
    restoreStep = RestoreStep::Written;
    askReading(ReadMode::Axes);
}

void DlgMain::readBackRestore()
{
    restoreStep = RestoreStep::None;
    control->disconnect();
    model->connect(connectedPort, connectedBaud);
}

void DlgMain::abandonRestore(const char* why)
{
    if (!restoreToVerify)
        return;
    restoreToVerify.reset();
    restoreStep = RestoreStep::None;
    showMessage(why);
}

void DlgMain::verifyRestore()
{
    const config::Snapshot file = *restoreToVerify;
    restoreToVerify.reset();
    int wrong = 0;
    std::string first;
    for (const config::Difference& d :
         config::differences(file, snapshotOf(model->parameters, model->axisConfiguration))) {
        if (!writable(d))
            continue;
        if (wrong++ == 0)
            first = config::qualifiedName(config::fieldSpecs()[d.index]);
    }
    showMessage(wrong == 0 ? "Snapshot restored and read back."
                           : ("Restore not verified: " + first + (wrong > 1 ? " and more" : "")).c_str());
}

}  // namespace kv7
