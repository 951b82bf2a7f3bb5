// The window's own options, kept per user in a file of their own beside the
// operator's settings (kv7ctl has no use for them): for now how the hand pad
// moves the mount, and whether writes are previewed.
#pragma once

#include <string>

namespace kv7 {

struct WindowOptions {
    // false: a click starts a move that runs until Stop; true: the mount
    // moves while a hand-pad button is held down.
    bool holdToMove = false;
    // true: every write to the controller is shown (field, now, after) and
    // waits for the operator's Ok.
    bool previewWrites = true;
};

std::string formatWindowOptions(const WindowOptions& options);

// Takes what it knows; anything else leaves the default.
WindowOptions parseWindowOptions(const std::string& text);

}  // namespace kv7
