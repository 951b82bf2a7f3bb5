// The preview shown before a write to the controller: what will change,
// field by field, with the value the controller holds and the one it will
// hold. The operator confirms or cancels, and may turn the preview off.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "ui/DialogModel.h"
#include "ui/WritePreview.h"

namespace kv7 {

namespace PreviewId {
enum : int {
    Ok = 1,
    Cancel = 2,
    Heading = 100,
    KeepPreviewing = 101,
    More = 102,          // "... and N more" when the rows run out
    FieldFirst = 200,    // a row per change: field, now, after
    NowFirst = 300,
    AfterFirst = 400,
};
inline constexpr std::size_t rows = 14;
}

const DialogLayout& writePreviewLayout();

class WritePreviewDialog final : public iDialogHandler {
public:
    WritePreviewDialog(std::string heading, std::vector<SettingChange> changes)
        : heading(std::move(heading)), changes(std::move(changes))
    {
    }

    const DialogLayout& layout() const override;
    bool onInit(iControlSurface& dialog) override;
    bool onCommand(iControlSurface& dialog, int id) override;

    // Read once the dialog has ended: false when the operator unticked
    // "Preview each write".
    bool keepPreviewing() const { return keep; }

private:
    std::string heading;
    std::vector<SettingChange> changes;
    bool keep = true;
};

// Ok (1) when the operator confirms, Cancel (2) otherwise; keepPreviewing
// takes the state of the box.
int showWritePreview(iDialogHost& host, std::string heading, std::vector<SettingChange> changes,
                     bool& keepPreviewing);

}  // namespace kv7
