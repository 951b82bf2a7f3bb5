// The plot control on Win32: an owner-drawn static control that paints the
// series a dialog hands it with setPlot, placed by the shared plot geometry.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/DialogModel.h"
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
    std::vector<std::vector<double>> values;
    std::vector<std::vector<std::uint8_t>> marks;
    std::string unitText;
};

}  // namespace kv7
