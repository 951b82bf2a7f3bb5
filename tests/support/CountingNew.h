// For the programs that count heap allocations: compiled into such a
// program (never into the shared test library), CountingNew.cpp replaces
// operator new with one that counts every call.
#pragma once

namespace kv7::test {

// Calls of operator new so far, from any thread.
long allocationsSoFar();

}  // namespace kv7::test
