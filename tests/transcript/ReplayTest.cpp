#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transcript/Replay.h"

namespace kv7::transcript {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes identify = {0xAA, 0x01, 0x01};
const Bytes identified = {0x55, 0x05, 0x01, 0x4B, 0x56, 0x37, 0x00};
const Bytes readByte = {0xAA, 0x01, 0x03};
const Bytes byteReply = {0x55, 0x02, 0x03, 0x07};

// A transcript of two requests and their replies; the second reply comes
// in two pieces with a stray byte between the requests.
Transcript twoRequests()
{
    Transcript t;
    t.chunks = {{1, Direction::ToController, identify, 0},
                {2, Direction::ToHost, identified, 0},
                {3, Direction::ToHost, {0x00}, 0},
                {4, Direction::ToController, readByte, 0},
                {5, Direction::ToHost, {0x55, 0x02}, 0},
                {6, Direction::ToHost, {0x03, 0x07}, 0}};
    return t;
}

Bytes drain(ReplayEngine& e)
{
    Bytes out(64);
    out.resize(e.read(out.data(), out.size()));
    return out;
}

TEST(Replay, EachRequestGetsEveryByteRecordedAfterIt)
{
    ReplayEngine e(makeReplayScript(twoRequests()));
    e.open();
    EXPECT_TRUE(drain(e).empty());
    e.receive(identify.data(), 2);   // a request may come in pieces
    EXPECT_TRUE(drain(e).empty());
    e.receive(identify.data() + 2, 1);
    Bytes expected = identified;
    expected.push_back(0x00);
    EXPECT_EQ(drain(e), expected);
    e.receive(readByte.data(), readByte.size());
    EXPECT_EQ(drain(e), byteReply);
    EXPECT_TRUE(e.complete());
    EXPECT_FALSE(e.difference());
}

TEST(Replay, TheFirstDifferentRequestIsReportedAtItsFrameAndAnswersStop)
{
    struct Case {
        Bytes sent;
        int frame;
        const char* report;
    };
    const Bytes otherByte = {0xAA, 0x01, 0x02};
    const Case cases[] = {
        {otherByte, 4, "frame 4: expected AA 01 03, received AA 01 02"},
        {{0xAA, 0x02, 0x03, 0x00}, 4, "frame 4: expected AA 01 03, received AA 02 03 00"},
    };
    for (const Case& c : cases) {
        ReplayEngine e(makeReplayScript(twoRequests()));
        e.receive(identify.data(), identify.size());
        drain(e);
        e.receive(c.sent.data(), c.sent.size());
        ASSERT_TRUE(e.difference());
        EXPECT_EQ(e.difference()->frameNumber, c.frame);
        EXPECT_EQ(describeDifference(*e.difference()), c.report);
        EXPECT_TRUE(drain(e).empty());
        e.receive(readByte.data(), readByte.size());   // nothing is answered after a difference
        EXPECT_TRUE(drain(e).empty());
        EXPECT_FALSE(e.complete());
    }
}

TEST(Replay, ARequestPastTheEndOfTheRecordingIsADifference)
{
    ReplayEngine e(makeReplayScript(twoRequests()));
    for (const Bytes& b : {identify, readByte, identify})
        e.receive(b.data(), b.size());
    ASSERT_TRUE(e.difference());
    EXPECT_EQ(e.difference()->frameNumber, 0);
    EXPECT_EQ(describeDifference(*e.difference()),
              "a request past the end of the recording: received AA 01 01");
}

}  // namespace
}  // namespace kv7::transcript
