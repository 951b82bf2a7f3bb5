#include "ui/win32/Win32Plot.h"

#include "ui/PlotGeometry.h"

namespace kv7 {

namespace {

const COLORREF seriesColours[] = {RGB(30, 90, 220), RGB(210, 40, 40), RGB(20, 150, 60), RGB(0, 0, 0)};
constexpr int crossSize = 3;

void drawCross(HDC dc, int x, int y)
{
    ::MoveToEx(dc, x - crossSize, y - crossSize, nullptr);
    ::LineTo(dc, x + crossSize + 1, y + crossSize + 1);
    ::MoveToEx(dc, x - crossSize, y + crossSize, nullptr);
    ::LineTo(dc, x + crossSize + 1, y - crossSize - 1);
}

void drawRangeText(HDC dc, HWND control, RECT area, const std::string& text, UINT alignment)
{
    const std::wstring wide = widen(text);
    const HGDIOBJ oldFont = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(control, WM_GETFONT, 0, 0)));
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    ::InflateRect(&area, -4, -2);
    ::DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &area, alignment | DT_LEFT | DT_SINGLELINE);
    ::SelectObject(dc, oldFont);
}

}  // namespace

void Win32Plot::setSeries(std::span<const PlotSeries> series, std::string_view unit) { copy.assign(series, unit); }

void Win32Plot::draw(const DRAWITEMSTRUCT& item) const
{
    const HDC dc = item.hDC;
    const RECT r = item.rcItem;
    ::FillRect(dc, &r, ::GetSysColorBrush(COLOR_WINDOW));
    ::FrameRect(dc, &r, ::GetSysColorBrush(COLOR_BTNSHADOW));

    const std::vector<PlotSeries> series = copy.series();
    const PlotRange range = plotRange(series, copy.unit());
    if (range.empty)
        return;
    const int left = r.left + 2;
    const int top = r.top + 2;
    const int width = r.right - r.left - 5;
    const int height = r.bottom - r.top - 5;
    for (std::size_t k = 0; k < series.size(); ++k) {
        const HPEN pen = ::CreatePen(PS_SOLID, 1, seriesColours[k % 4]);
        const HGDIOBJ oldPen = ::SelectObject(dc, pen);
        for (const PlotPoint& p : plotPoints(series[k], range, width, height, 1200)) {
            if (p.startsLine)
                ::MoveToEx(dc, left + p.x, top + p.y, nullptr);
            else
                ::LineTo(dc, left + p.x, top + p.y);
            if (p.marked) {
                drawCross(dc, left + p.x, top + p.y);
                ::MoveToEx(dc, left + p.x, top + p.y, nullptr);
            }
        }
        ::SelectObject(dc, oldPen);
        ::DeleteObject(pen);
    }
    drawRangeText(dc, item.hwndItem, r, range.topText, DT_TOP);
    drawRangeText(dc, item.hwndItem, r, range.bottomText, DT_BOTTOM);
}

}  // namespace kv7
