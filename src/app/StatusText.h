// The texts of the status codes the link raises; the status line shows them.
#pragma once

#include <cstdint>

namespace kv7 {

constexpr std::uint32_t statusCount = 31;

// The text for a status code, or null for a code from statusCount on.
const char* statusText(std::uint32_t status);
const wchar_t* statusTextWide(std::uint32_t status);

// True for the statuses that report a failure ("Error: ..."), whose text
// should not outlive a later success.
bool isErrorStatus(std::uint32_t status);

}  // namespace kv7
