// kv7ctl transcript show FILE: a recorded line, frame by frame.
#include <cstdio>
#include <ostream>
#include <string>

#include "cli/Json.h"
#include "cli/Offline.h"
#include "transcript/Transcript.h"

namespace kv7::cli {

namespace {

using transcript::Frame;
using transcript::FrameField;
using transcript::FrameKind;
using transcript::FrameMeaning;

std::string secondsText(std::int64_t micros)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%06lld", static_cast<long long>(micros / 1000000),
                  static_cast<long long>(micros % 1000000));
    return text;
}

std::string valueText(const FrameField& f)
{
    if (!f.block.empty())
        return "{" + transcript::hexText(f.block) + "}";
    return f.isSigned ? std::to_string(static_cast<std::int32_t>(f.value)) : std::to_string(f.value);
}

const char* kindWord(FrameKind k)
{
    switch (k) {
    case FrameKind::Frame: return "frame";
    case FrameKind::Stray: return "stray";
    case FrameKind::Incomplete: return "incomplete";
    }
    return "frame";
}

void printFrame(std::ostream& out, const Frame& f, const FrameMeaning& m)
{
    char head[48];
    std::snprintf(head, sizeof head, "%5d %14s %c ", f.number, secondsText(f.micros).c_str(),
                  static_cast<char>(f.direction));
    out << head << m.name;
    for (const FrameField& field : m.fields)
        out << " " << field.name << "=" << valueText(field);
    if (!m.problem.empty())
        out << " (" << m.problem << ")";
    out << "  [" << transcript::hexText(f.bytes) << "]\n";
}

void printFrameJson(std::ostream& out, const Frame& f, const FrameMeaning& m)
{
    Json j;
    j.num("frame", std::int64_t{f.number}).raw("seconds", secondsText(f.micros));
    j.str("direction", std::string(1, static_cast<char>(f.direction))).str("kind", kindWord(f.kind));
    j.str("name", m.name).str("bytes", transcript::hexText(f.bytes));
    Json fields;
    for (const FrameField& field : m.fields) {
        if (!field.block.empty())
            fields.str(field.name.c_str(), transcript::hexText(field.block));
        else if (field.isSigned)
            fields.num(field.name.c_str(), std::int64_t{static_cast<std::int32_t>(field.value)});
        else
            fields.num(field.name.c_str(), std::uint64_t{field.value});
    }
    j.object("fields", fields);
    if (!m.problem.empty())
        j.str("problem", m.problem);
    out << j.text() << "\n";
}

}  // namespace

int showTranscript(const Options& o, Environment& env)
{
    std::string text;
    std::string error;
    transcript::Transcript t;
    if (!env.readFile || !env.readFile(o.transcriptFile, transcript::maxTranscriptBytes, text, error) ||
        !transcript::readTranscript(text, t, error)) {
        *env.err << "kv7ctl: " << o.transcriptFile << ": " << (env.readFile ? error : "no files can be read here")
                 << "\n";
        return 1;
    }
    std::ostream& out = *env.out;
    if (!o.json) {
        out << "Transcript " << o.transcriptFile << ": started " << t.started << ", port " << t.port << "\n";
        for (const std::string& note : t.notes)
            out << "# " << note << "\n";
    }
    for (const Frame& f : transcript::cutFrames(t)) {
        const FrameMeaning m = transcript::describeFrame(f);
        if (o.json)
            printFrameJson(out, f, m);
        else
            printFrame(out, f, m);
    }
    return 0;
}

}  // namespace kv7::cli
