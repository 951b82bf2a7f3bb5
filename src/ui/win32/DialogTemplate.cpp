#include "ui/win32/DialogTemplate.h"

namespace kv7 {

namespace {

// Predefined dialog item classes, by atom.
constexpr WORD buttonAtom = 0x0080;
constexpr WORD editAtom = 0x0081;
constexpr WORD staticAtom = 0x0082;
constexpr WORD comboBoxAtom = 0x0085;

DWORD labelAlignment(std::uint32_t flags)
{
    if (flags & ControlFlag::AlignRight)
        return SS_RIGHT;
    if (flags & ControlFlag::AlignCenter)
        return SS_CENTER;
    return SS_LEFT;
}

}  // namespace

Win32ControlStyle win32ControlStyle(const ControlEntry& entry)
{
    const std::uint32_t f = entry.flags;
    const bool manual = (f & ControlFlag::ManualCheck) != 0;
    Win32ControlStyle s;
    s.style = WS_CHILD | WS_VISIBLE;
    switch (entry.kind) {
    case ControlKind::Label:
        s.classAtom = staticAtom;
        s.style |= labelAlignment(f) | WS_GROUP;
        // A static control sends no click unless it notifies.
        if (f & ControlFlag::Link)
            s.style |= SS_NOTIFY;
        break;
    case ControlKind::GroupBox:
        s.classAtom = buttonAtom;
        s.style |= BS_GROUPBOX;
        break;
    case ControlKind::EtchedLine:
        s.classAtom = staticAtom;
        s.style |= SS_ETCHEDHORZ;
        break;
    case ControlKind::PushButton:
        s.classAtom = buttonAtom;
        s.style |= ((f & ControlFlag::DefaultButton) ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP;
        break;
    case ControlKind::ArrowButton:
        s.classAtom = buttonAtom;
        s.style |= BS_PUSHBUTTON | BS_BITMAP | WS_TABSTOP;
        break;
    case ControlKind::CheckBox:
        s.classAtom = buttonAtom;
        s.style |= (manual ? BS_CHECKBOX : BS_AUTOCHECKBOX) | WS_TABSTOP;
        break;
    case ControlKind::PushLikeCheckBox:
        s.classAtom = buttonAtom;
        s.style |= (manual ? BS_CHECKBOX : BS_AUTOCHECKBOX) | BS_PUSHLIKE | WS_TABSTOP;
        break;
    case ControlKind::Edit:
        s.classAtom = editAtom;
        s.style |= ES_LEFT | ES_AUTOHSCROLL | WS_BORDER;
        // A read-only field is no tab stop: the first focus and Tab would
        // select its text as if it were there to be typed over.
        s.style |= (f & ControlFlag::ReadOnly) ? ES_READONLY : WS_TABSTOP;
        break;
    case ControlKind::DropDownList:
        s.classAtom = comboBoxAtom;
        s.style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
        break;
    case ControlKind::Plot:
        s.classAtom = staticAtom;
        s.style |= SS_OWNERDRAW;
        break;
    case ControlKind::Slider:
        s.className = TRACKBAR_CLASSW;
        s.style |= TBS_HORZ | WS_TABSTOP;
        if (f & ControlFlag::AutoTicks)
            s.style |= TBS_AUTOTICKS;
        break;
    }
    return s;
}

DialogTemplate::DialogTemplate(const DialogLayout& layout)
{
    words.reserve(64 + layout.controls.size() * 32);
    addDword(dialogStyle);
    addDword(dialogExStyle);
    add(static_cast<WORD>(layout.controls.size()));
    add(static_cast<WORD>(layout.rect.x));
    add(static_cast<WORD>(layout.rect.y));
    add(static_cast<WORD>(layout.rect.cx));
    add(static_cast<WORD>(layout.rect.cy));
    add(0);   // no menu
    add(0);   // the predefined dialog class
    addText(layout.caption);
    add(dialogFontPoints);
    for (const wchar_t* c = dialogFontName; *c; ++c)
        add(static_cast<WORD>(*c));
    add(0);

    for (const ControlEntry& entry : layout.controls) {
        alignToDword();
        const Win32ControlStyle s = win32ControlStyle(entry);
        addDword(s.style);
        addDword(0);
        add(static_cast<WORD>(entry.rect.x));
        add(static_cast<WORD>(entry.rect.y));
        add(static_cast<WORD>(entry.rect.cx));
        add(static_cast<WORD>(entry.rect.cy));
        // Labels nobody addresses share -1, which the template carries as 0xFFFF.
        add(static_cast<WORD>(entry.id));
        if (s.className) {
            for (const wchar_t* c = s.className; *c; ++c)
                add(static_cast<WORD>(*c));
            add(0);
        } else {
            add(0xFFFF);
            add(s.classAtom);
        }
        addText(entry.caption);
        add(0);   // no creation data
    }
}

void DialogTemplate::addDword(DWORD d)
{
    add(LOWORD(d));
    add(HIWORD(d));
}

void DialogTemplate::addText(const char* utf8)
{
    for (wchar_t c : widen(utf8 ? utf8 : ""))
        add(static_cast<WORD>(c));
    add(0);
}

void DialogTemplate::alignToDword()
{
    if (words.size() % 2 != 0)
        add(0);
}

}  // namespace kv7
