// Where the controller's stored parameters live between runs. The engine
// keeps the text (see formatSettings); a store the host supplies keeps the
// bytes, with whatever file handling its platform needs, so the engine
// itself never touches the file system.
#pragma once

#include <cstddef>
#include <string>

namespace kv7::sim {

// A state file is about 1.5 KiB of text. Anything far larger is not one,
// and reading it whole (a huge file, a device that never ends) would only
// exhaust memory.
constexpr std::size_t maxStateBytes = 64 * 1024;

class StateStore {
public:
    enum class Loaded {
        Text,      // text holds what was stored
        Nothing,   // nothing stored yet: the controller starts factory fresh
        Failed,    // there is something, but it cannot be used; error says why
    };

    virtual ~StateStore() = default;

    // Called once, as the controller starts.
    virtual Loaded load(std::string& text, std::string& error) = 0;
    // Replaces what is stored with text, all or nothing: after a failure
    // the earlier contents are still there. False with a reason in error.
    virtual bool save(const std::string& text, std::string& error) = 0;
};

}  // namespace kv7::sim
