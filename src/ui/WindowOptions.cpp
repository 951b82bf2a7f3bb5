#include "ui/WindowOptions.h"

namespace kv7 {

namespace {

constexpr char holdLine[] = "move=hold";
constexpr char clickLine[] = "move=click";
constexpr char previewOnLine[] = "preview=on";
constexpr char previewOffLine[] = "preview=off";

}  // namespace

std::string formatWindowOptions(const WindowOptions& options)
{
    return std::string("# KV7 encoder set-up tool: the window's options\n[hand-pad]\n") +
           (options.holdToMove ? holdLine : clickLine) + "\n[writes]\n" +
           (options.previewWrites ? previewOnLine : previewOffLine) + "\n";
}

std::string transcriptOption(const std::vector<std::string>& args)
{
    const std::string prefix = "--transcript=";
    std::string path;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--transcript" && i + 1 < args.size())
            path = args[++i];
        else if (args[i].rfind(prefix, 0) == 0)
            path = args[i].substr(prefix.size());
    }
    return path;
}

WindowOptions parseWindowOptions(const std::string& text)
{
    WindowOptions options;
    std::string section;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
            line.pop_back();
        if (!line.empty() && line.front() == '[')
            section = line;
        else if (section == "[hand-pad]" && (line == holdLine || line == clickLine))
            options.holdToMove = line == holdLine;
        else if (section == "[writes]" && (line == previewOnLine || line == previewOffLine))
            options.previewWrites = line == previewOnLine;
    }
    return options;
}

}  // namespace kv7
