// An in-memory dialog template (DLGTEMPLATE and its DLGITEMTEMPLATEs) built
// from a layout table, for DialogBoxIndirectParamW.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/DialogModel.h"
#include "ui/win32/Win32Api.h"

namespace kv7 {

// Window class and styles of one control, as the template carries them.
struct Win32ControlStyle {
    WORD classAtom = 0;              // 0x0080 button ... 0x0085 combo box; 0 when className is used
    const wchar_t* className = nullptr;
    DWORD style = 0;
};

Win32ControlStyle win32ControlStyle(const ControlEntry& entry);

// Every dialog: caption, system menu, modal frame, sunken client edge, and
// the dialog font "MS Shell Dlg" 8 pt.
inline constexpr DWORD dialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE | DS_MODALFRAME | DS_SETFONT;
inline constexpr DWORD dialogExStyle = WS_EX_CLIENTEDGE;
inline constexpr wchar_t dialogFontName[] = L"MS Shell Dlg";
inline constexpr WORD dialogFontPoints = 8;

class DialogTemplate {
public:
    explicit DialogTemplate(const DialogLayout& layout);

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words.data()); }

private:
    void add(WORD w) { words.push_back(w); }
    void addDword(DWORD d);
    void addText(const char* utf8);
    void alignToDword();

    // DWORD-aligned storage: DLGITEMTEMPLATEs must start on DWORD boundaries.
    std::vector<WORD> words;
};

}  // namespace kv7
