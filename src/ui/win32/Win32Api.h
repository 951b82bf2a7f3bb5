// The Windows headers, included one way everywhere in the Win32 renderer.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <string>
#include <string_view>

namespace kv7 {

// The layout tables and handlers speak UTF-8; the windows take UTF-16.
std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);

}  // namespace kv7
