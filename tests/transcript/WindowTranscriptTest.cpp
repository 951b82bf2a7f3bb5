#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "ui/WindowOptions.h"
#include "ui/WindowTranscript.h"

namespace kv7 {
namespace {

TEST(WindowTranscript, TheCommandLineNamesTheFile)
{
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"--transcript", "a.kv7t"}, "a.kv7t"},
        {{"-style", "fusion", "--transcript=b.kv7t"}, "b.kv7t"},
        {{"--transcript"}, ""},
        {{}, ""},
    };
    for (const auto& [args, path] : cases)
        EXPECT_EQ(transcriptOption(args), path);
}

class NoPorts final : public PortCatalog {
public:
    std::vector<PortEntry> entries() const override { return {}; }
    bool resolve(std::uint32_t, PortBinding&) override { return false; }
};

struct Folder {
    Folder() : path(std::filesystem::temp_directory_path() / ("kv7-window-transcript-" + std::to_string(::getpid())))
    {
        std::filesystem::create_directories(path);
    }
    ~Folder() { std::filesystem::remove_all(path); }
    std::string file(const char* name) const { return (path / name).string(); }
    std::filesystem::path path;
};

TEST(WindowTranscript, TheCommandLineWinsOverTheSettingAndNeitherLeavesTheCatalogue)
{
    Folder folder;
    NoPorts ports;
    UserSettings settings;
    std::string error;
    {
        WindowTranscript none;
        EXPECT_EQ(none.wrap({}, settings, ports, error), &ports);
    }
    settings.transcript = folder.file("setting.kv7t");
    {
        WindowTranscript fromSetting;
        EXPECT_NE(fromSetting.wrap({}, settings, ports, error), &ports);
        EXPECT_TRUE(std::filesystem::exists(settings.transcript));
    }
    std::filesystem::remove(settings.transcript);
    {
        WindowTranscript fromCommandLine;
        EXPECT_NE(fromCommandLine.wrap({"--transcript", folder.file("line.kv7t")}, settings, ports, error), &ports);
        EXPECT_TRUE(std::filesystem::exists(folder.file("line.kv7t")));
        EXPECT_FALSE(std::filesystem::exists(settings.transcript));
    }
    WindowTranscript unwritable;
    EXPECT_EQ(unwritable.wrap({"--transcript", folder.file("no/such/folder.kv7t")}, settings, ports, error), &ports);
    EXPECT_NE(error.find("no/such/folder.kv7t"), std::string::npos) << error;
}

}  // namespace
}  // namespace kv7
