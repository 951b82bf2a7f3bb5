// What posting a message to a Qt window costs: a reading, the message a
// fast monitor sends again and again, takes no memory from the heap; a
// status still does. This program counts allocations
// (support/CountingNew.cpp).
#include <gtest/gtest.h>

#include <QApplication>

#include "app/Records.h"
#include "support/CountingNew.h"
#include "ui/DialogLayouts.h"
#include "ui/qt/QtDialog.h"

namespace kv7 {
namespace {

// Counts the messages that reach it.
class Receiver final : public iDialogHandler {
public:
    const DialogLayout& layout() const override { return aboutBoxLayout(); }
    bool onInit(iControlSurface&) override { return true; }
    bool onCommand(iControlSurface&, int) override { return false; }
    void onUserMessage(std::uint32_t, std::uint32_t) override { ++received; }
    int received = 0;
};

TEST(QtPosting, AReadingTakenBeforeTheNextIsPostedAllocatesNothing)
{
    Receiver receiver;
    QtDialog dialog(receiver, nullptr);
    struct Case {
        std::uint32_t code;
        bool allocates;
    };
    const Case cases[] = {{NotifyMountState, false}, {NotifyStatus, true}};
    for (const Case& c : cases) {
        long posting = 0;
        for (int k = 0; k < 1000; ++k) {
            const long before = test::allocationsSoFar();
            dialog.postUserMessage(c.code, 0);
            posting += test::allocationsSoFar() - before;
            QCoreApplication::sendPostedEvents(&dialog);
        }
        if (c.allocates)
            EXPECT_GE(posting, 1000) << c.code;
        else
            EXPECT_LE(posting, 2) << c.code;   // Qt's own queue may grow once
    }
    EXPECT_EQ(receiver.received, 2000);

    // Two readings waiting at once: the second goes to the heap, and both arrive.
    dialog.postUserMessage(NotifyMountState, 1);
    dialog.postUserMessage(NotifyMountState, 2);
    QCoreApplication::sendPostedEvents(&dialog);
    EXPECT_EQ(receiver.received, 2002);
}

}  // namespace
}  // namespace kv7
