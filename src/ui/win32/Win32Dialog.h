// One dialog built from a layout table as a Win32 modal dialog, and the
// control surface its handler talks to. The dialog procedure keeps the
// object in the window's user data and forwards to it.
#pragma once

#include <atomic>
#include <vector>

#include "platform/UniqueHandle.h"
#include "ui/DialogModel.h"
#include "ui/win32/Win32Api.h"
#include "ui/win32/Win32Plot.h"

namespace kv7 {

// An owned GDI object (font, bitmap).
struct GdiObjectTraits {
    using Handle = HGDIOBJ;
    static Handle none() noexcept { return nullptr; }
    static bool valid(Handle h) noexcept { return h != nullptr; }
    static void close(Handle h) noexcept { ::DeleteObject(h); }
};

using GdiObject = UniqueHandle<GdiObjectTraits>;

// Resource numbers of the hand-pad arrows: 100 left, 101 right, 102 up, 103 down.
int arrowBitmapId(ArrowImage image);

// The smallest size the operator can drag a dialog to, in pixels.
inline constexpr LONG minimumTrackSize = 200;

class Win32Dialog final : public iControlSurface {
public:
    Win32Dialog(iDialogHandler& handler, HINSTANCE instance);
    ~Win32Dialog();
    Win32Dialog(const Win32Dialog&) = delete;
    Win32Dialog& operator=(const Win32Dialog&) = delete;

    // Builds the template, runs it modally owned by owner and returns the
    // result given to endDialog (-1 if the dialog could not be created).
    // The fonts and bitmaps made for it are released before this returns.
    INT_PTR run(HWND owner);

    // The dialog's window while it exists, else null.
    HWND window() const { return hwnd.load(); }

    // iControlSurface.
    void setText(int id, std::string_view text) override;
    std::size_t getText(int id, char* buffer, std::size_t capacity) const override;
    void setCheck(int id, bool checked) override;
    bool isChecked(int id) const override;
    void enable(int id, bool enabled) override;
    void setSliderRange(int id, int minimum, int maximum) override;
    void setSliderPosition(int id, int position) override;
    int sliderPosition(int id) const override;
    void addListEntry(int id, std::string_view text) override;
    void selectListEntry(int id, int index) override;
    int selectedListEntry(int id) const override;
    void setImage(int id, ArrowImage image) override;
    void endDialog(int result) override;
    void postUserMessage(std::uint32_t code, std::uint32_t value) override;
    void setTimer(int periodMs) override;
    void clearList(int id) override;
    void setPlot(int id, std::span<const PlotSeries> series, std::string_view unit) override;

    // The id of the handler's timer on the dialog window (SetTimer).
    static constexpr UINT_PTR timerId = 1;

private:
    static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK linkProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK pressProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam);

    INT_PTR handle(UINT message, WPARAM wParam, LPARAM lParam);
    BOOL initialise(HWND window);
    void styleLabels();
    // Subclasses the buttons flagged ReportsPress.
    void watchPresses();
    HFONT deriveFont(HWND control, LONG height, LONG weight, bool underline);
    bool isLink(HWND control) const;
    HWND item(int id) const;

    iDialogHandler& dialogHandler;
    HINSTANCE instance;
    std::atomic<HWND> hwnd{nullptr};   // read by postUserMessage on other threads
    std::vector<GdiObject> fonts;      // made for this dialog, released when it closes
    std::vector<GdiObject> bitmaps;
    std::vector<HWND> links;
    std::vector<Win32Plot> plots;
};

}  // namespace kv7
