// <windows.h>, included the same way everywhere: without the rarely used
// parts, and without the min and max macros that would break std::min.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
