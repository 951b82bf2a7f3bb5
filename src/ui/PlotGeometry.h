// Where a plot's lines go: the range its series span and each value's
// place in a drawing area, worked out once for both renderers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/DialogModel.h"

namespace kv7 {

struct PlotRange {
    double low = 0;
    double high = 1;
    std::string topText;      // the high end, with the unit
    std::string bottomText;   // the low end
    bool empty = true;        // no finite value to show
};

// The finite values' range, widened a little so no line runs along the
// frame; a flat series gets a range around its value.
PlotRange plotRange(std::span<const PlotSeries> series, std::string_view unit);

struct PlotPoint {
    int x = 0;
    int y = 0;
    bool startsLine = false;   // the first point, or the first after a gap
    bool marked = false;
};

// What a renderer keeps of setPlot's series until it paints them again;
// its storage is reused from one call to the next.
class PlotCopy {
public:
    void assign(std::span<const PlotSeries> series, std::string_view unit);
    // Views of the copy, valid until the next assign.
    std::vector<PlotSeries> series() const;
    const std::string& unit() const { return unitText; }

private:
    std::vector<std::vector<double>> values;
    std::vector<std::vector<std::uint8_t>> marks;
    std::string unitText;
};

// The points of one series in a width x height area (y grows downwards),
// the newest value at the right edge, `capacity` values across.
std::vector<PlotPoint> plotPoints(const PlotSeries& series, const PlotRange& range, int width, int height,
                                  std::size_t capacity);

}  // namespace kv7
