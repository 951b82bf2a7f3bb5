// The window's own options, kept per user in a file of their own beside the
// operator's settings (kv7ctl has no use for them): for now how the hand pad
// moves the mount.
#pragma once

#include <string>

namespace kv7 {

struct WindowOptions {
    // false: a click starts a move that runs until Stop; true: the mount
    // moves while a hand-pad button is held down.
    bool holdToMove = false;
};

std::string formatWindowOptions(const WindowOptions& options);

// Takes what it knows; anything else leaves the default.
WindowOptions parseWindowOptions(const std::string& text);

}  // namespace kv7
