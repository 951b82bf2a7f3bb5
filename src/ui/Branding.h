// The maker's address and the texts built from it. The address is a
// placeholder domain of our own (".example" never resolves to a company).
#pragma once

#include <array>
#include <cstddef>

namespace kv7 {

inline constexpr char makerWebAddress[] = "https://www.velantrix.example/kv7";
inline constexpr char creditLine[] = "Written by the Velantrix KV7 team.";

namespace detail {
template <std::size_t A, std::size_t B, std::size_t C>
constexpr std::array<char, A + B + C - 2> joinTexts(const char (&a)[A], const char (&b)[B], const char (&c)[C])
{
    std::array<char, A + B + C - 2> out{};
    std::size_t n = 0;
    for (std::size_t i = 0; i + 1 < A; ++i)
        out[n++] = a[i];
    for (std::size_t i = 0; i + 1 < B; ++i)
        out[n++] = b[i];
    for (std::size_t i = 0; i < C; ++i)
        out[n++] = c[i];
    return out;
}
}  // namespace detail

// "TN2,WB6 Encoder setup 1.0 beta 1. (<address>)"
inline constexpr auto mainCaption = detail::joinTexts("TN2,WB6 Encoder setup 1.0 beta 1. (", makerWebAddress, ")");

}  // namespace kv7
