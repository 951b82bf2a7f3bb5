#include "ui/qt/QtPlot.h"

#include <QPainter>
#include <QPalette>

#include "ui/PlotGeometry.h"

namespace kv7 {

namespace {

const QColor seriesColours[] = {QColor(30, 90, 220), QColor(210, 40, 40), QColor(20, 150, 60), QColor(0, 0, 0)};
constexpr int crossSize = 3;

}  // namespace

void QtPlot::setSeries(std::span<const PlotSeries> series, std::string_view unit)
{
    copy.assign(series, unit);
    update();
}

void QtPlot::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    const std::vector<PlotSeries> series = copy.series();
    const PlotRange range = plotRange(series, copy.unit());
    if (range.empty)
        return;
    const QRect area = rect().adjusted(2, 2, -3, -3);
    painter.setRenderHint(QPainter::Antialiasing);
    for (std::size_t k = 0; k < series.size(); ++k) {
        painter.setPen(QPen(seriesColours[k % 4], 1.2));
        QPoint last;
        for (const PlotPoint& p : plotPoints(series[k], range, area.width(), area.height(), 1200)) {
            const QPoint here(area.left() + p.x, area.top() + p.y);
            if (!p.startsLine)
                painter.drawLine(last, here);
            if (p.marked) {
                painter.drawLine(here + QPoint(-crossSize, -crossSize), here + QPoint(crossSize, crossSize));
                painter.drawLine(here + QPoint(-crossSize, crossSize), here + QPoint(crossSize, -crossSize));
            }
            last = here;
        }
    }
    painter.setPen(palette().color(QPalette::Text));
    const QRect textArea = rect().adjusted(4, 2, -4, -2);
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignTop, QString::fromStdString(range.topText));
    painter.drawText(textArea, Qt::AlignLeft | Qt::AlignBottom, QString::fromStdString(range.bottomText));
}

}  // namespace kv7
