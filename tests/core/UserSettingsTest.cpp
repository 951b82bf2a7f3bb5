// The operator's settings file: what is written reads back, and a damaged
// file gives the default site with a reason, never a half-read one.
#include <gtest/gtest.h>

#include "app/UserSettings.h"

namespace kv7 {
namespace {

struct MemoryStore final : iSettingsStore {
    bool load(std::string& out, std::string& error) override
    {
        if (!readable) {
            error = "cannot read the settings";
            return false;
        }
        out = text;
        return true;
    }
    bool save(const std::string& in, std::string&) override
    {
        text = in;
        return true;
    }
    std::string text;
    bool readable = true;
};

TEST(UserSettings, ASiteWrittenReadsBackExactly)
{
    MemoryStore store;
    UserSettings s;
    s.siteSet = true;
    s.latitude = -33.856944;
    s.longitude = 151.215278;
    std::string error;
    ASSERT_TRUE(store.save(formatUserSettings(s), error));
    std::vector<std::string> problems;
    const UserSettings back = loadUserSettings(store, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(back.siteSet);
    EXPECT_EQ(back.latitude, s.latitude);
    EXPECT_EQ(back.longitude, s.longitude);
}

TEST(UserSettings, TheTranscriptFileIsKeptBesideTheSite)
{
    UserSettings s;
    s.siteSet = true;
    s.latitude = 10;
    s.longitude = 20;
    s.transcript = "/var/tmp/line.kv7t";
    std::vector<std::string> problems;
    const UserSettings back = parseUserSettings(formatUserSettings(s), problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_TRUE(back.siteSet);
    EXPECT_EQ(back.transcript, s.transcript);
    s.transcript.clear();
    EXPECT_EQ(formatUserSettings(s).find("[diagnostics]"), std::string::npos);
}

TEST(UserSettings, NoFileMeansTheDefaultSiteAndNoComplaint)
{
    MemoryStore store;
    std::vector<std::string> problems;
    const UserSettings s = loadUserSettings(store, problems);
    EXPECT_TRUE(problems.empty());
    EXPECT_FALSE(s.siteSet);
    EXPECT_EQ(s.longitude, UserSettings::defaultLongitude);
}

TEST(UserSettings, DamagedTextGivesTheDefaultSiteAndSaysWhy)
{
    struct Case {
        const char* text;
        const char* mentions;
    };
    const Case cases[] = {
        {"[site]\nlatitude=45\n", "both"},
        {"[site]\nlatitude=95\nlongitude=10\n", "outside"},
        {"[site]\nlatitude=45\nlongitude=east\n", "longitude=east"},
        {"[site]\nlatitude=45\nlongitude=nan\n", "longitude=nan"},
        {"[site]\nlatitude=45\nlongitude=1e999\n", "1e999"},
        {"\x01\x02garbage", "garbage"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> problems;
        const UserSettings s = parseUserSettings(c.text, problems);
        EXPECT_FALSE(s.siteSet) << c.text;
        EXPECT_EQ(s.longitude, UserSettings::defaultLongitude) << c.text;
        ASSERT_FALSE(problems.empty()) << c.text;
        std::string all;
        for (const std::string& p : problems)
            all += p + "\n";
        EXPECT_NE(all.find(c.mentions), std::string::npos) << all;
    }
    MemoryStore unreadable;
    unreadable.readable = false;
    std::vector<std::string> problems;
    EXPECT_FALSE(loadUserSettings(unreadable, problems).siteSet);
    EXPECT_EQ(problems, (std::vector<std::string>{"cannot read the settings"}));
}

}  // namespace
}  // namespace kv7
