#include "cli/Json.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace kv7::cli {

namespace {

std::string quoted(const std::string& v)
{
    std::string q = "\"";
    for (char c : v) {
        if (c == '"' || c == '\\')
            q += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            q += b;
            continue;
        }
        q += c;
    }
    return q + "\"";
}

std::string array(const std::uint64_t* v, std::size_t n)
{
    std::string s = "[";
    for (std::size_t i = 0; i < n; ++i)
        s += (i ? "," : "") + std::to_string(v[i]);
    return s + "]";
}

}  // namespace

Json& Json::num(const char* key, double v)
{
    // A Julian date needs 12 or more digits.
    if (!std::isfinite(v))
        return raw(key, "null");
    char b[64];
    const auto result = std::to_chars(b, b + sizeof b, v);
    return raw(key, std::string(b, result.ptr));
}

Json& Json::str(const char* key, const std::string& v) { return raw(key, quoted(v)); }

Json& Json::field(const char* key, const FieldValue& value)
{
    const std::size_t half = value.count / 2u;
    switch (value.kind) {
    case FieldValue::Kind::Number: return num(key, value.v[0]);
    case FieldValue::Kind::List: return raw(key, array(value.v, value.count));
    case FieldValue::Kind::TwoLists:
        return raw(key, "[" + array(value.v, half) + "," + array(value.v + half, half) + "]");
    case FieldValue::Kind::Dms: return str(key, fieldText(value));
    }
    return *this;
}

Json& Json::raw(const char* key, const std::string& v)
{
    body += (body.empty() ? "" : ",") + std::string("\"") + key + "\":" + v;
    return *this;
}

}  // namespace kv7::cli
