#include "ui/win32/Win32Dialog.h"

#include <algorithm>
#include <cstring>

#include "ui/win32/DialogTemplate.h"

namespace kv7 {

namespace {

// Where a subclassed link label keeps the window procedure it replaced.
constexpr wchar_t previousProcProperty[] = L"kv7.link.previousProc";
// The same for a button whose presses reach the handler.
constexpr wchar_t pressPreviousProcProperty[] = L"kv7.press.previousProc";

bool isKind(const iDialogHandler& handler, int id, ControlKind kind)
{
    const ControlEntry* entry = findControl(handler.layout(), id);
    return entry && entry->kind == kind;
}

// A visible dialog of another copy of the program, with this caption, whose
// top left corner is at the given point.
bool twinAt(HWND self, const wchar_t* caption, POINT corner)
{
    HWND other = nullptr;
    while ((other = ::FindWindowExW(nullptr, other, MAKEINTATOM(32770), caption)) != nullptr) {
        RECT r{};
        if (other != self && ::IsWindowVisible(other) && ::GetWindowRect(other, &r) && r.left == corner.x &&
            r.top == corner.y)
            return true;
    }
    return false;
}

// A second copy of the program opens a caption's height down and to the
// right of the first instead of exactly over it.
void stepAsideFromTwins(HWND window)
{
    wchar_t caption[256] = {};
    ::GetWindowTextW(window, caption, 256);
    RECT r{};
    ::GetWindowRect(window, &r);
    POINT corner{r.left, r.top};
    const int step = ::GetSystemMetrics(SM_CYCAPTION) + ::GetSystemMetrics(SM_CYFRAME);
    for (int tries = 0; tries < 16 && twinAt(window, caption, corner); ++tries) {
        corner.x += step;
        corner.y += step;
    }
    if (corner.x != r.left)
        ::SetWindowPos(window, nullptr, corner.x, corner.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

int arrowBitmapId(ArrowImage image)
{
    switch (image) {
    case ArrowImage::Left: return 100;
    case ArrowImage::Right: return 101;
    case ArrowImage::Up: return 102;
    case ArrowImage::Down: return 103;
    }
    return 100;
}

Win32Dialog::Win32Dialog(iDialogHandler& handler, HINSTANCE instance) : dialogHandler(handler), instance(instance) {}

Win32Dialog::~Win32Dialog() = default;

INT_PTR Win32Dialog::run(HWND owner)
{
    const DialogTemplate dialogTemplate(dialogHandler.layout());
    const INT_PTR result = ::DialogBoxIndirectParamW(instance, dialogTemplate.get(), owner, &Win32Dialog::dialogProc,
                                                     reinterpret_cast<LPARAM>(this));
    // The window and its controls are gone: nothing draws with these any more.
    hwnd = nullptr;
    links.clear();
    fonts.clear();
    bitmaps.clear();
    return result;
}

INT_PTR CALLBACK Win32Dialog::dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_GETMINMAXINFO) {
        // Arrives before WM_INITDIALOG too, so it is answered without the object.
        auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
        info->ptMinTrackSize.x = minimumTrackSize;
        info->ptMinTrackSize.y = minimumTrackSize;
        return TRUE;
    }
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, lParam);
        return reinterpret_cast<Win32Dialog*>(lParam)->initialise(window);
    }
    auto* self = reinterpret_cast<Win32Dialog*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    return self ? self->handle(message, wParam, lParam) : FALSE;
}

INT_PTR Win32Dialog::handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        // A list about to drop down is filled anew before it shows.
        if (HIWORD(wParam) == CBN_DROPDOWN && isKind(dialogHandler, id, ControlKind::DropDownList)) {
            dialogHandler.onListOpening(*this, id);
            return TRUE;
        }
        // Only clicks are commands (BN_CLICKED and STN_CLICKED are both 0),
        // and Enter and Esc; edits and lists notify of focus and changes too.
        if (HIWORD(wParam) != BN_CLICKED && id != IDOK && id != IDCANCEL)
            return FALSE;
        return dialogHandler.onCommand(*this, id) ? TRUE : FALSE;
    }
    case WM_USER:
        dialogHandler.onUserMessage(static_cast<std::uint32_t>(wParam), static_cast<std::uint32_t>(lParam));
        return TRUE;
    case WM_TIMER:
        if (wParam != timerId)
            return FALSE;
        dialogHandler.onTimer(*this);
        return TRUE;
    case WM_CLOSE:
        dialogHandler.onClose(*this);
        return TRUE;
    case WM_CTLCOLORSTATIC: {
        if (!isLink(reinterpret_cast<HWND>(lParam)))
            return FALSE;
        const HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetTextColor(dc, ::GetSysColor(COLOR_HOTLIGHT));
        ::SetBkMode(dc, TRANSPARENT);
        return reinterpret_cast<INT_PTR>(::GetStockObject(NULL_BRUSH));
    }
    case WM_DRAWITEM: {
        const auto* drawn = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        for (const Win32Plot& plot : plots)
            if (drawn && drawn->CtlType == ODT_STATIC && plot.id == static_cast<int>(drawn->CtlID)) {
                plot.draw(*drawn);
                return TRUE;
            }
        return FALSE;
    }
    case WM_SIZE:
    case WM_HSCROLL:
        // Moving the speed slider sends nothing; a hand-pad click reads it.
        return TRUE;
    case WM_NCDESTROY:
        hwnd = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

BOOL Win32Dialog::initialise(HWND window)
{
    hwnd = window;
    // A dialog of its own on the taskbar shows the program's icon.
    if (!::GetWindow(window, GW_OWNER)) {
        if (HICON icon = ::LoadIconW(instance, MAKEINTRESOURCEW(1))) {
            ::SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
            ::SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
        }
        stepAsideFromTwins(window);
    }
    styleLabels();
    watchPresses();
    return dialogHandler.onInit(*this) ? TRUE : FALSE;
}

void Win32Dialog::watchPresses()
{
    for (const ControlEntry& entry : dialogHandler.layout().controls) {
        HWND button = (entry.flags & ControlFlag::ReportsPress) ? item(entry.id) : nullptr;
        if (!button)
            continue;
        const LONG_PTR previous =
            ::SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32Dialog::pressProc));
        ::SetPropW(button, pressPreviousProcProperty, reinterpret_cast<HANDLE>(previous));
    }
}

LRESULT CALLBACK Win32Dialog::pressProc(HWND button, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto previous = reinterpret_cast<WNDPROC>(::GetPropW(button, pressPreviousProcProperty));
    auto* self = reinterpret_cast<Win32Dialog*>(::GetWindowLongPtrW(::GetParent(button), GWLP_USERDATA));
    const int id = ::GetDlgCtrlID(button);
    // Let go, or the mouse or the focus taken away while it was down: the
    // release comes before the click the button itself reports.
    const bool released = message == WM_LBUTTONUP || message == WM_KILLFOCUS || message == WM_CAPTURECHANGED;
    if (self && released)
        self->dialogHandler.onRelease(*self, id);
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(button, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        ::RemovePropW(button, pressPreviousProcProperty);
    }
    const LRESULT result = previous ? ::CallWindowProcW(previous, button, message, wParam, lParam) : 0;
    if (self && (message == WM_LBUTTONDOWN || message == WM_LBUTTONDBLCLK))
        self->dialogHandler.onPress(*self, id);
    return result;
}

void Win32Dialog::styleLabels()
{
    for (const ControlEntry& entry : dialogHandler.layout().controls) {
        if (entry.kind != ControlKind::Label || entry.id == -1)
            continue;
        HWND label = item(entry.id);
        if (!label)
            continue;
        if (entry.flags & ControlFlag::TitleFont)
            deriveFont(label, 16, FW_BOLD, false);
        if (entry.flags & ControlFlag::HeadingFont)
            deriveFont(label, 24, FW_BOLD, false);
        if (entry.flags & ControlFlag::Link) {
            deriveFont(label, 0, 0, true);
            const LONG_PTR previous =
                ::SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Win32Dialog::linkProc));
            ::SetPropW(label, previousProcProperty, reinterpret_cast<HANDLE>(previous));
            links.push_back(label);
        }
    }
}

HFONT Win32Dialog::deriveFont(HWND control, LONG height, LONG weight, bool underline)
{
    auto base = reinterpret_cast<HFONT>(::SendMessageW(control, WM_GETFONT, 0, 0));
    if (!base)
        base = static_cast<HFONT>(::GetStockObject(SYSTEM_FONT));
    LOGFONTW font{};
    ::GetObjectW(base, sizeof font, &font);
    if (height)
        font.lfHeight = height;
    if (weight)
        font.lfWeight = weight;
    if (underline)
        font.lfUnderline = TRUE;
    const HFONT made = ::CreateFontIndirectW(&font);
    if (!made)
        return nullptr;
    fonts.emplace_back(made);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(made), TRUE);
    return made;
}

LRESULT CALLBACK Win32Dialog::linkProc(HWND label, UINT message, WPARAM wParam, LPARAM lParam)
{
    const auto previous = reinterpret_cast<WNDPROC>(::GetPropW(label, previousProcProperty));
    if (message == WM_SETCURSOR) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    }
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        ::RemovePropW(label, previousProcProperty);
    }
    return previous ? ::CallWindowProcW(previous, label, message, wParam, lParam) : 0;
}

bool Win32Dialog::isLink(HWND control) const
{
    return control && std::find(links.begin(), links.end(), control) != links.end();
}

HWND Win32Dialog::item(int id) const
{
    HWND window = hwnd.load();
    return window ? ::GetDlgItem(window, id) : nullptr;
}

void Win32Dialog::setText(int id, std::string_view text)
{
    if (HWND control = item(id))
        ::SetWindowTextW(control, widen(text).c_str());
}

std::size_t Win32Dialog::getText(int id, char* buffer, std::size_t capacity) const
{
    if (capacity == 0)
        return 0;
    buffer[0] = '\0';
    HWND control = item(id);
    if (!control)
        return 0;
    std::wstring wide(static_cast<std::size_t>(::GetWindowTextLengthW(control)) + 1, L'\0');
    wide.resize(static_cast<std::size_t>(::GetWindowTextW(control, wide.data(), static_cast<int>(wide.size()))));
    const std::string text = narrow(wide);
    std::size_t n = std::min(text.size(), capacity - 1);
    // Never cut a character in half.
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

void Win32Dialog::setCheck(int id, bool checked)
{
    if (HWND window = hwnd.load())
        ::CheckDlgButton(window, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32Dialog::isChecked(int id) const
{
    HWND window = hwnd.load();
    return window && item(id) && ::IsDlgButtonChecked(window, id) == BST_CHECKED;
}

void Win32Dialog::enable(int id, bool enabled)
{
    if (HWND control = item(id))
        ::EnableWindow(control, enabled ? TRUE : FALSE);
}

void Win32Dialog::setSliderRange(int id, int minimum, int maximum)
{
    if (HWND control = item(id); control && isKind(dialogHandler, id, ControlKind::Slider))
        ::SendMessageW(control, TBM_SETRANGE, FALSE, MAKELPARAM(minimum, maximum));
}

void Win32Dialog::setSliderPosition(int id, int position)
{
    if (HWND control = item(id); control && isKind(dialogHandler, id, ControlKind::Slider))
        ::SendMessageW(control, TBM_SETPOS, TRUE, position);
}

int Win32Dialog::sliderPosition(int id) const
{
    HWND control = item(id);
    if (!control || !isKind(dialogHandler, id, ControlKind::Slider))
        return 0;
    return static_cast<int>(::SendMessageW(control, TBM_GETPOS, 0, 0));
}

void Win32Dialog::addListEntry(int id, std::string_view text)
{
    if (HWND control = item(id); control && isKind(dialogHandler, id, ControlKind::DropDownList))
        ::SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(widen(text).c_str()));
}

void Win32Dialog::selectListEntry(int id, int index)
{
    if (HWND control = item(id); control && isKind(dialogHandler, id, ControlKind::DropDownList))
        ::SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32Dialog::selectedListEntry(int id) const
{
    HWND control = item(id);
    if (!control || !isKind(dialogHandler, id, ControlKind::DropDownList))
        return -1;
    const LRESULT index = ::SendMessageW(control, CB_GETCURSEL, 0, 0);
    return index == CB_ERR ? -1 : static_cast<int>(index);
}

void Win32Dialog::setImage(int id, ArrowImage image)
{
    HWND control = item(id);
    if (!control)
        return;
    const HBITMAP bitmap = ::LoadBitmapW(instance, MAKEINTRESOURCEW(arrowBitmapId(image)));
    if (!bitmap)
        return;
    bitmaps.emplace_back(bitmap);
    ::SendMessageW(control, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
}

void Win32Dialog::endDialog(int result)
{
    if (HWND window = hwnd.load()) {
        // No tick may reach the handler between the end and the window's
        // destruction, which would take the timer with it anyway.
        ::KillTimer(window, timerId);
        ::EndDialog(window, result);
    }
}

void Win32Dialog::setTimer(int periodMs)
{
    HWND window = hwnd.load();
    if (!window)
        return;
    // Setting it again with the same id replaces the period.
    if (periodMs <= 0)
        ::KillTimer(window, timerId);
    else
        ::SetTimer(window, timerId, static_cast<UINT>(periodMs), nullptr);
}

void Win32Dialog::setPlot(int id, std::span<const PlotSeries> series, std::string_view unit)
{
    const HWND control = item(id);
    if (!control || !isKind(dialogHandler, id, ControlKind::Plot))
        return;
    auto found = std::find_if(plots.begin(), plots.end(), [id](const Win32Plot& p) { return p.id == id; });
    if (found == plots.end()) {
        plots.emplace_back(id);
        found = plots.end() - 1;
    }
    found->setSeries(series, unit);
    ::InvalidateRect(control, nullptr, FALSE);
}

void Win32Dialog::clearList(int id)
{
    if (HWND control = item(id); control && isKind(dialogHandler, id, ControlKind::DropDownList))
        ::SendMessageW(control, CB_RESETCONTENT, 0, 0);
}

void Win32Dialog::postUserMessage(std::uint32_t code, std::uint32_t value)
{
    // The one call made from other threads. Once the window has gone the
    // notification is dropped, as a post to a destroyed window would be.
    if (HWND window = hwnd.load())
        ::PostMessageW(window, WM_USER, code, static_cast<LPARAM>(value));
}

}  // namespace kv7
