// The program's name, purpose, version, credit line and the maker's web
// address.
#pragma once

#include "ui/DialogModel.h"

namespace kv7 {

class AboutBox final : public iDialogHandler {
public:
    explicit AboutBox(iDialogHost& host) : host(host) {}

    const DialogLayout& layout() const override;
    bool onInit(iControlSurface& dialog) override;
    bool onCommand(iControlSurface& dialog, int id) override;

private:
    iDialogHost& host;
};

void showAboutBox(iDialogHost& host);

}  // namespace kv7
