// The state file's rules: how much of it is read and what it is called in
// a complaint. Reading and replacing are platform/AtomicFile.h's, the same
// as for the operator's settings; both FileStateStore implementations come
// here.
#pragma once

#include <string>

#include "sim/engine/StateStore.h"

namespace kv7::sim::statefile {

StateStore::Loaded load(const std::string& path, std::string& text, std::string& error);
bool save(const std::string& path, const std::string& text, std::string& error);

}  // namespace kv7::sim::statefile
