#include "ui/PlotGeometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kv7 {

namespace {

std::string rangeText(double value, std::string_view unit)
{
    char text[48];
    const double size = std::fabs(value);
    const int decimals = size >= 100 ? 0 : size >= 1 ? 2 : 4;
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return std::string(text) + (unit.empty() ? "" : " ") + std::string(unit);
}

}  // namespace

void PlotCopy::assign(std::span<const PlotSeries> series, std::string_view unit)
{
    values.resize(series.size());
    marks.resize(series.size());
    for (std::size_t k = 0; k < series.size(); ++k) {
        values[k].assign(series[k].values.begin(), series[k].values.end());
        marks[k].assign(series[k].marked.begin(), series[k].marked.end());
    }
    unitText.assign(unit);
}

std::vector<PlotSeries> PlotCopy::series() const
{
    std::vector<PlotSeries> out;
    for (std::size_t k = 0; k < values.size(); ++k)
        out.push_back({values[k], marks[k]});
    return out;
}

PlotRange plotRange(std::span<const PlotSeries> series, std::string_view unit)
{
    PlotRange r;
    double low = 0;
    double high = 0;
    for (const PlotSeries& s : series)
        for (double v : s.values) {
            if (!std::isfinite(v))
                continue;
            low = r.empty ? v : std::min(low, v);
            high = r.empty ? v : std::max(high, v);
            r.empty = false;
        }
    if (r.empty)
        return r;
    const double span = high - low;
    const double margin = span > 0 ? span * 0.05 : std::max(std::fabs(high) * 0.01, 1e-6);
    r.low = low - margin;
    r.high = high + margin;
    r.topText = rangeText(high, unit);
    r.bottomText = rangeText(low, unit);
    return r;
}

std::vector<PlotPoint> plotPoints(const PlotSeries& series, const PlotRange& range, int width, int height,
                                  std::size_t capacity)
{
    std::vector<PlotPoint> points;
    const std::size_t n = series.values.size();
    if (range.empty || n == 0 || width <= 1 || height <= 1)
        return points;
    capacity = std::max(capacity, n);
    const double step = capacity > 1 ? static_cast<double>(width - 1) / static_cast<double>(capacity - 1) : 0.0;
    const double scale = (height - 1) / (range.high - range.low);
    bool gap = true;
    for (std::size_t k = 0; k < n; ++k) {
        const double v = series.values[k];
        if (!std::isfinite(v)) {
            gap = true;
            continue;
        }
        PlotPoint p;
        p.x = static_cast<int>(std::lround((width - 1) - static_cast<double>(n - 1 - k) * step));
        p.y = static_cast<int>(std::lround((range.high - v) * scale));
        p.startsLine = gap;
        p.marked = k < series.marked.size() && series.marked[k] != 0;
        points.push_back(p);
        gap = false;
    }
    return points;
}

}  // namespace kv7
