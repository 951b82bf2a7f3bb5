// The window's own options, kept per user in a file of their own beside the
// operator's settings (kv7ctl has no use for them): for now how the hand pad
// moves the mount, and whether writes are previewed.
#pragma once

#include <string>
#include <vector>

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

// The window's command line (the toolkit's own options already taken out):
// --transcript FILE (or --transcript=FILE) records the serial line into
// FILE. Empty when not given; a --transcript without a file is ignored.
std::string transcriptOption(const std::vector<std::string>& args);

// Takes what it knows; anything else leaves the default.
WindowOptions parseWindowOptions(const std::string& text);

}  // namespace kv7
