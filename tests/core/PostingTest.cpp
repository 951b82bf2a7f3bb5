// What the model posts to the window while the link streams readings from
// its own thread: a bounded number of messages, no allocation per reading,
// the newest reading shown, and every status in the order it was raised.
// This program counts allocations (support/CountingNew.cpp).
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "app/AppModel.h"
#include "support/CountingNew.h"

namespace kv7 {
namespace {

constexpr int burst = 5000;

// A window whose queue has room reserved up front, so that posting itself
// allocates nothing; it is read only after the posting thread has ended.
struct QueueWindow : iWMUserSender, iMainDlgCallback {
    QueueWindow()
    {
        posted.reserve(2 * burst + 8);
        statuses.reserve(burst + 8);
    }
    void postUserMessage(std::uint32_t code, std::uint32_t value) override { posted.push_back({code, value}); }
    void showStatus(std::uint16_t s) override { statuses.push_back(s); }
    void showConfiguration(std::uint16_t, std::uint32_t) override {}
    void askMeridianFlip(std::int32_t) override {}
    void showMountState(const MountState& m) override
    {
        ++readingsShown;
        lastShown = m.raEncoderPosition;
    }
    std::size_t postedOf(std::uint32_t code) const
    {
        std::size_t n = 0;
        for (const auto& p : posted)
            n += p.first == code ? 1 : 0;
        return n;
    }
    std::vector<std::pair<std::uint32_t, std::uint32_t>> posted;
    std::vector<std::uint16_t> statuses;
    int readingsShown = 0;
    std::uint32_t lastShown = 0;
};

struct Posting : ::testing::Test {
    Posting()
    {
        model.setSender(&window);
        model.setMainDialog(&window);
    }
    void deliverAll()
    {
        const auto posted = window.posted;
        window.posted.clear();
        for (const auto& [code, value] : posted)
            model.dispatchUserMessage(code, value);
    }
    static MountState reading(std::uint32_t n)
    {
        MountState m;
        m.valid = 1;
        m.raEncoderPosition = n;
        return m;
    }
    QueueWindow window;
    AppModel model;
};

TEST_F(Posting, ABurstOfReadingsFromAnotherThreadPostsOnceAllocatesNothingAndShowsTheLast)
{
    const long before = test::allocationsSoFar();
    std::thread link([this] {
        for (std::uint32_t n = 1; n <= burst; ++n)
            model.onMountState(reading(n));
    });
    link.join();
    const long during = test::allocationsSoFar() - before;
    // The thread itself may allocate its start-up state; the readings nothing.
    EXPECT_LE(during, 2);
    EXPECT_EQ(window.postedOf(NotifyMountState), 1u);
    deliverAll();
    EXPECT_EQ(window.readingsShown, 1);
    EXPECT_EQ(window.lastShown, static_cast<std::uint32_t>(burst));
}

TEST_F(Posting, StatusesAmongAStreamOfReadingsAllArriveInTheirOrder)
{
    std::thread link([this] {
        for (std::uint32_t n = 1; n <= burst; ++n) {
            model.onMountState(reading(n));
            if (n % 50 == 0)
                model.onStatus(n / 50 % 31);
        }
    });
    link.join();
    // A reading's message is posted again only after a status came between.
    EXPECT_LE(window.postedOf(NotifyMountState), window.postedOf(NotifyStatus) + 1);
    deliverAll();
    std::vector<std::uint16_t> expected;
    for (std::uint32_t n = 50; n <= burst; n += 50)
        expected.push_back(static_cast<std::uint16_t>(n / 50 % 31));
    EXPECT_EQ(window.statuses, expected);
    EXPECT_EQ(window.lastShown, static_cast<std::uint32_t>(burst));
}

TEST_F(Posting, AReadingAfterTheWindowHasShownTheLastIsPostedAgain)
{
    for (int round = 1; round <= 3; ++round) {
        model.onMountState(reading(static_cast<std::uint32_t>(round)));
        model.onMountState(reading(static_cast<std::uint32_t>(round * 10)));
        ASSERT_EQ(window.postedOf(NotifyMountState), 1u) << round;
        deliverAll();
        EXPECT_EQ(window.lastShown, static_cast<std::uint32_t>(round * 10)) << round;
    }
    EXPECT_EQ(window.readingsShown, 3);
}

}  // namespace
}  // namespace kv7
