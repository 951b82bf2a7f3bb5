#include "cli/Json.h"

#include <algorithm>
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
    switch (value.kind) {
    case FieldValue::Kind::Number: return num(key, value.v[0]);
    case FieldValue::Kind::List: return raw(key, fieldText(value));
    case FieldValue::Kind::TwoLists: {
        // kv7ctl's text puts the RA and Dec lists side by side; JSON nests them.
        FieldValue ra = value;
        FieldValue dec = value;
        ra.kind = dec.kind = FieldValue::Kind::List;
        ra.count = dec.count = static_cast<std::uint8_t>(value.count / 2u);
        std::copy(value.v + ra.count, value.v + value.count, dec.v);
        return raw(key, "[" + fieldText(ra) + "," + fieldText(dec) + "]");
    }
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
