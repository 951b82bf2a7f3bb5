// The operator's settings file: kept across restarts, read leniently, and
// replaced whole even when two programs save at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "CliTestDir.h"
#include "app/UserSettings.h"
#include "platform/SettingsFile.h"
#include "platform/SettingsFile.h"

namespace kv7::cli::test {
namespace {

namespace fs = std::filesystem;

TEST(SettingsFile, ASavedSiteReadsBackInANewStore)
{
    const struct {
        double latitude;
        double longitude;
    } cases[] = {{48.2082, 16.3738}, {-33.8568, 151.2153}, {0, -180}, {90, 180}, {-12.345678901234, 0.1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.latitude) + " " + std::to_string(c.longitude));
        TestDir dir;
        ASSERT_TRUE(dir.made());
        // A folder that is not there yet is made.
        const std::string path = dir.file("config/kv7/settings.ini");
        UserSettings saved;
        saved.siteSet = true;
        saved.latitude = c.latitude;
        saved.longitude = c.longitude;
        std::string error;
        ASSERT_TRUE(SettingsFile(path).save(formatUserSettings(saved), error)) << error;

        SettingsFile restarted(path);
        std::vector<std::string> problems;
        const UserSettings read = loadUserSettings(restarted, problems);
        EXPECT_TRUE(problems.empty());
        EXPECT_TRUE(read.siteSet);
        EXPECT_EQ(read.latitude, c.latitude);
        EXPECT_EQ(read.longitude, c.longitude);
    }
}

TEST(SettingsFile, AMissingFileIsTheBuiltInSiteWithoutComplaint)
{
    TestDir dir;
    SettingsFile store(dir.file("kv7/settings.ini"));
    std::vector<std::string> problems;
    const UserSettings read = loadUserSettings(store, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_FALSE(read.siteSet);
    EXPECT_EQ(read.longitude, UserSettings::defaultLongitude);
}

TEST(SettingsFile, ACorruptFileGivesTheDefaultSiteAndSaysWhy)
{
    const struct {
        const char* name;
        std::string text;
        const char* said;
    } cases[] = {
        {"not a number", "[site]\nlatitude=north\nlongitude=16\n", "latitude=north"},
        {"out of range", "[site]\nlatitude=95\nlongitude=16\n", "outside"},
        {"half a site", "[site]\nlongitude=16\n", "both"},
        {"binary", std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10) + "\n", "line 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        const std::string path = dir.file("settings.ini");
        std::ofstream(path, std::ios::binary) << c.text;
        SettingsFile store(path);
        std::vector<std::string> problems;
        const UserSettings read = loadUserSettings(store, problems);
        EXPECT_FALSE(read.siteSet);
        EXPECT_EQ(read.longitude, UserSettings::defaultLongitude);
        ASSERT_FALSE(problems.empty());
        std::string all;
        for (const std::string& p : problems)
            all += p + "\n";
        EXPECT_NE(all.find(c.said), std::string::npos) << all;
    }
}

TEST(SettingsFile, WhatIsNotAReadableFileIsAMessageAndNothingIsReplaced)
{
    const struct {
        const char* name;
        bool directory;         // otherwise a file beyond the size bound
        const char* said;
    } cases[] = {
        {"a directory in its place", true, "is a directory"},
        {"a file of 1 MiB", false, "larger than"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TestDir dir;
        const std::string path = dir.file("settings.ini");
        if (c.directory) {
            fs::create_directory(path);
        } else {
            std::ofstream(path) << "[site]\n";
            fs::resize_file(path, 1 << 20);
        }
        SettingsFile store(path);
        std::vector<std::string> problems;
        const UserSettings read = loadUserSettings(store, problems);
        EXPECT_FALSE(read.siteSet);
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_NE(problems[0].find(c.said), std::string::npos) << problems[0];
        EXPECT_NE(problems[0].find(path), std::string::npos) << problems[0];
        if (c.directory) {
            std::string error;
            EXPECT_FALSE(store.save("[site]\n", error));
            EXPECT_TRUE(fs::is_directory(path));
        }
    }
}

// Two programs save their own version at the same time while a third
// reads: every read is one whole version, never a mixture or a part.
TEST(SettingsFile, TwoStoresSavingAtOnceNeverLeaveAHalfFile)
{
    TestDir dir;
    const std::string path = dir.file("kv7/settings.ini");
    // Versions large enough that a write in pieces would show.
    const std::string versions[2] = {"[site]\n# " + std::string(20000, 'a') + "\nlatitude=1\nlongitude=2\n",
                                     "[site]\n# " + std::string(30000, 'b') + "\nlatitude=3\nlongitude=4\n"};
    std::atomic<int> writersDone{0};
    std::atomic<bool> failed{false};
    std::vector<std::thread> writers;
    for (const std::string& version : versions) {
        writers.emplace_back([&, version] {
            SettingsFile store(path);
            for (int k = 0; k < 200; ++k) {
                std::string error;
                if (!store.save(version, error))
                    failed = true;
            }
            ++writersDone;
        });
    }
    SettingsFile reader(path);
    std::set<std::string> seen;
    std::vector<std::string> halves;
    for (int reads = 0; writersDone < 2 || reads < 1; ++reads) {
        std::string text;
        std::string error;
        if (!reader.load(text, error)) {
            halves.push_back("load failed: " + error);
            continue;
        }
        if (text.empty())
            continue;   // before the first save
        if (text == versions[0] || text == versions[1])
            seen.insert(text);
        else
            halves.push_back(text.substr(0, 40) + "... (" + std::to_string(text.size()) + " bytes)");
    }
    for (std::thread& t : writers)
        t.join();
    EXPECT_FALSE(failed);
    EXPECT_TRUE(halves.empty()) << halves.size() << " reads saw something else, first: " << halves.front();
    EXPECT_FALSE(seen.empty());
    // No temporary file is left beside the settings.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.file("kv7")))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"settings.ini"});
}

#ifndef _WIN32
// The place of the file: XDG_CONFIG_HOME when absolute, else HOME/.config.
TEST(SettingsFile, ItsPlaceFollowsXdgConfigHomeThenHome)
{
    const struct {
        const char* xdg;    // null: unset
        const char* home;
        const char* expected;
    } cases[] = {
        {"/x/config", "/home/u", "/x/config/kv7/settings.ini"},
        {nullptr, "/home/u", "/home/u/.config/kv7/settings.ini"},
        {"relative/config", "/home/u", "/home/u/.config/kv7/settings.ini"},
        {"", "/home/u", "/home/u/.config/kv7/settings.ini"},
        {nullptr, nullptr, ""},
    };
    auto saved = [](const char* name) -> std::optional<std::string> {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto xdgBefore = saved("XDG_CONFIG_HOME");
    const auto homeBefore = saved("HOME");
    auto put = [](const char* name, const char* value) {
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    };
    for (const auto& c : cases) {
        put("XDG_CONFIG_HOME", c.xdg);
        put("HOME", c.home);
        EXPECT_EQ(defaultSettingsPath(), c.expected) << (c.xdg ? c.xdg : "(unset)");
    }
    put("XDG_CONFIG_HOME", xdgBefore ? xdgBefore->c_str() : nullptr);
    put("HOME", homeBefore ? homeBefore->c_str() : nullptr);
}
#endif

}  // namespace
}  // namespace kv7::cli::test
