// The layout tables of the five dialogs, in dialog units.
#pragma once

#include "ui/DialogModel.h"

namespace kv7 {

const DialogLayout& mainDialogLayout();          // 456 x 320
const DialogLayout& encoderSetupLayout();        // 248 x 142
const DialogLayout& offsetAdjustLayout();        // 324 x 134
const DialogLayout& meridianFlipPromptLayout();  // 192 x 120
const DialogLayout& aboutBoxLayout();            // 192 x 105

}  // namespace kv7
