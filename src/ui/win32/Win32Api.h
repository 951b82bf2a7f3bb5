// The Windows headers, included one way everywhere in the Win32 renderer.
#pragma once

#include "platform/win32/WindowsHeaders.h"

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <string_view>

namespace kv7 {

// The layout tables and handlers speak UTF-8; the windows take UTF-16.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

}  // namespace kv7
