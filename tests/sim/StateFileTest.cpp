// The state file on POSIX against what a mistyped path or another local
// user can put where the simulator reads and writes: FIFOs, devices, huge
// files, and symbolic links at the file or at names beside it.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "SimTestUtil.h"

namespace kv7::sim::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string fileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::set<std::string> entries(const std::string& directory)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory))
        names.insert(entry.path().filename().string());
    return names;
}

struct LoadResult {
    bool returned = false;
    StateStore::Loaded outcome = StateStore::Loaded::Nothing;
    std::string error;
};

// The load runs on a thread of its own, so one that blocks (a FIFO waiting
// for a writer) fails the test instead of hanging the suite. Such a thread
// is left behind; it owns everything it uses.
LoadResult loadWithin(const std::string& path, std::chrono::seconds limit)
{
    auto promise = std::make_shared<std::promise<LoadResult>>();
    std::future<LoadResult> future = promise->get_future();
    std::thread([path, promise] {
        FileStateStore store(path);
        LoadResult r;
        std::string text;
        r.outcome = store.load(text, r.error);
        r.returned = true;
        promise->set_value(r);
    }).detach();
    if (future.wait_for(limit) != std::future_status::ready)
        return {};
    return future.get();
}

TEST(StateFile, LoadRefusesAnythingButARegularFileOfBoundedSize)
{
    TempDir dir;
    const std::string fifo = dir.file("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_directory(dir.file("directory"));
    std::ofstream(dir.file("real.state")) << "ra.gearRatio=180\n";
    fs::create_symlink(dir.file("real.state"), dir.file("link.state"));
    {
        std::ofstream(dir.file("huge.state")) << "ra.gearRatio=180\n";
        fs::resize_file(dir.file("huge.state"), std::uintmax_t{1} << 36);   // sparse: no disk space used
    }

    const struct {
        const char* name;
        std::string path;
        const char* reason;
    } cases[] = {
        {"a FIFO nobody writes to", fifo, "not a regular file"},
        {"a device that never ends", "/dev/zero", "not a regular file"},
        {"a directory", dir.file("directory"), "is a directory"},
        {"a symbolic link", dir.file("link.state"), "symbolic link"},
        {"a file of 64 GiB", dir.file("huge.state"), "larger than"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LoadResult r = loadWithin(c.path, 10s);
        if (!r.returned) {
            // Lets a load stuck in opening the FIFO go on to its end.
            const int writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            if (writer >= 0)
                ::close(writer);
            ADD_FAILURE() << "the load did not return";
            continue;
        }
        EXPECT_EQ(r.outcome, StateStore::Loaded::Failed);
        EXPECT_NE(r.error.find(c.path), std::string::npos) << r.error;
        EXPECT_NE(r.error.find(c.reason), std::string::npos) << r.error;
    }
}

// Another user who can write to the state file's directory may plant links
// there, hoping the simulator writes through one into a file of theirs
// choosing. Nothing is ever written through one, and nothing is created
// where one points.
TEST(StateFile, SaveNeverWritesThroughAPlantedLink)
{
    const struct {
        const char* name;
        const char* planted;
        bool pointsAtAFile;   // otherwise it dangles, inviting a create
        bool saved;
    } cases[] = {
        {"the fixed temporary name", "kv7.state.tmp", true, true},
        {"the fixed temporary name, dangling", "kv7.state.tmp", false, true},
        {"a hidden temporary name", ".kv7.state.tmp", true, true},
        {"a new-file name", "kv7.state.new", true, true},
        {"a backup name", "kv7.state~", true, true},
        {"the state file itself", "kv7.state", true, false},
        {"the state file itself, dangling", "kv7.state", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string state = dir.file("kv7.state");
        const std::string victim = dir.file("victim");
        if (c.pointsAtAFile)
            std::ofstream(victim) << "precious\n";
        if (std::string(c.planted) != "kv7.state")
            std::ofstream(state) << "old\n";
        fs::create_symlink(victim, dir.file(c.planted));

        FileStateStore store(state);
        std::string error;
        EXPECT_EQ(store.save("new\n", error), c.saved) << error;
        EXPECT_EQ(c.saved, error.empty()) << error;

        if (c.pointsAtAFile) {
            EXPECT_EQ(fileText(victim), "precious\n");
        } else {
            EXPECT_FALSE(fs::exists(fs::symlink_status(victim)));
        }
        EXPECT_EQ(fs::read_symlink(dir.file(c.planted)).string(), victim);
        if (c.saved) {
            EXPECT_EQ(fileText(state), "new\n");
        }
        // No temporary file is left behind either way.
        std::set<std::string> expected{c.planted, "kv7.state"};
        if (c.pointsAtAFile)
            expected.insert("victim");
        EXPECT_EQ(entries(dir.file("")), expected);
    }
}

TEST(StateFile, SaveKeepsTheReplacedFilesPermissions)
{
    const mode_t umaskNow = ::umask(0);
    ::umask(umaskNow);
    const struct {
        const char* name;
        bool exists;
        mode_t before;
        mode_t after;
    } cases[] = {
        {"a first file", false, 0, 0644 & ~umaskNow},
        {"private", true, 0600, 0600},
        {"group readable", true, 0640, 0640},
        {"read-only", true, 0444, 0444},
        {"group writable", true, 0664, 0664},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string state = dir.file("kv7.state");
        if (c.exists) {
            std::ofstream(state) << "old\n";
            ASSERT_EQ(::chmod(state.c_str(), c.before), 0);
        }
        FileStateStore store(state);
        std::string error;
        ASSERT_TRUE(store.save("new\n", error)) << error;
        struct stat st {};
        ASSERT_EQ(::stat(state.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, c.after);
        EXPECT_EQ(fileText(state), "new\n");
    }
}

}  // namespace
}  // namespace kv7::sim::test
