// The plot control on Qt: paints the series a dialog hands it with
// setPlot, placed by the shared plot geometry.
#pragma once

#include <QWidget>

#include <span>
#include <string_view>

#include "ui/DialogModel.h"
#include "ui/PlotGeometry.h"

namespace kv7 {

class QtPlot final : public QWidget {
public:
    QtPlot() = default;

    // Copies the values; keeps the storage of earlier calls.
    void setSeries(std::span<const PlotSeries> series, std::string_view unit);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    PlotCopy copy;
};

}  // namespace kv7
