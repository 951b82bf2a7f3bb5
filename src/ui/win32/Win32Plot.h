// The plot control on Win32: an owner-drawn static control that paints the
// series a dialog hands it with setPlot, placed by the shared plot geometry.
#pragma once

#include <span>
#include <string_view>

#include "ui/DialogModel.h"
#include "ui/PlotGeometry.h"
#include "ui/win32/Win32Api.h"

namespace kv7 {

class Win32Plot {
public:
    explicit Win32Plot(int id) : id(id) {}

    // Copies the values; keeps the storage of earlier calls.
    void setSeries(std::span<const PlotSeries> series, std::string_view unit);
    // Paints into the control's rectangle (WM_DRAWITEM).
    void draw(const DRAWITEMSTRUCT& item) const;

    const int id;

private:
    PlotCopy copy;
};

}  // namespace kv7
