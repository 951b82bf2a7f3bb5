// kv7ctl's machine output: one JSON object per result, keys in the order
// they are written.
#pragma once

#include <cstdint>
#include <string>

#include "ui/RecordFields.h"

namespace kv7::cli {

class Json {
public:
    // Every digit the value has: the shortest text that reads back as the
    // same double. Not a finite number: null.
    Json& num(const char* key, double v);
    Json& num(const char* key, std::uint64_t v) { return raw(key, std::to_string(v)); }
    Json& num(const char* key, std::int64_t v) { return raw(key, std::to_string(v)); }
    Json& str(const char* key, const std::string& v);
    Json& boolean(const char* key, bool v) { return raw(key, v ? "true" : "false"); }
    Json& object(const char* key, const Json& inner) { return raw(key, inner.text()); }
    // A record's field: a number, an array, an array of two, or a string.
    Json& field(const char* key, const FieldValue& value);
    Json& raw(const char* key, const std::string& v);

    std::string text() const { return "{" + body + "}"; }

private:
    std::string body;
};

}  // namespace kv7::cli
