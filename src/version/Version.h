// The program's version, one for every program of the project: the number
// from the build (project VERSION) and the commit it was built from.
#pragma once

#include <string>
#include <string_view>

namespace kv7 {

// "1.0.0"
std::string_view versionNumber();
// "1a2b3c4d5e" or "1a2b3c4d5e-dirty"; empty when built outside a git checkout.
std::string_view buildCommit();
// "1.0.0 (1a2b3c4d5e-dirty)", or "1.0.0" alone without a commit.
std::string_view versionText();
// What --version prints: "kv7ctl 1.0.0 (1a2b3c4d5e)".
std::string versionLine(std::string_view program);

}  // namespace kv7
