// Encoder setup, offset fine-adjust, meridian-flip prompt and About box
// against a fake surface.
#include <gtest/gtest.h>

#include <string>

#include "FakeDialogs.h"
#include "app/Records.h"
#include "ui/ControlIds.h"
#include "ui/EncoderSetupDialog.h"
#include "ui/MeridianFlipPrompt.h"
#include "ui/OffsetAdjustDialog.h"

namespace kv7::test {
namespace {

// ---- Encoder setup --------------------------------------------------------

struct EncoderSetupRun {
    explicit EncoderSetupRun(AxisConfiguration& a) : dialog(a) { dialog.onInit(surface); }
    bool click(int id) { return surface.click(dialog, id); }

    EncoderSetupDialog dialog;
    FakeSurface surface{dialog.layout()};
};

TEST(EncoderSetup, OpensWithTheFormatAndOkStoresTheEditedNumbers)
{
    AxisConfiguration a;
    {
        EncoderSetupRun run(a);
        for (int id : {EncoderSetupId::RaInvert, EncoderSetupId::RaGray, EncoderSetupId::DecInvert,
                       EncoderSetupId::DecGray})
            EXPECT_FALSE(run.surface.isChecked(id)) << id;
        EXPECT_EQ(run.surface.text(EncoderSetupId::RaBitsPerRevolution), "25");
        EXPECT_EQ(run.surface.text(EncoderSetupId::RaBitsForRevolutions), "0");
        EXPECT_EQ(run.surface.text(EncoderSetupId::RaLeadingBits), "12");
        EXPECT_EQ(run.surface.text(EncoderSetupId::DecBitsPerRevolution), "25");
        EXPECT_EQ(run.surface.text(EncoderSetupId::DecBitsForRevolutions), "0");
        EXPECT_EQ(run.surface.text(EncoderSetupId::DecLeadingBits), "12");
        EXPECT_EQ(run.surface.text(EncoderSetupId::Hint), "");

        run.surface.type(EncoderSetupId::RaBitsPerRevolution, " 32 ");
        run.surface.type(EncoderSetupId::RaBitsForRevolutions, "0");
        run.surface.type(EncoderSetupId::RaLeadingBits, "31");
        run.surface.type(EncoderSetupId::DecBitsPerRevolution, "1");
        run.surface.type(EncoderSetupId::DecBitsForRevolutions, "31");
        run.click(EncoderSetupId::DecGray);
        EXPECT_TRUE(run.click(EncoderSetupId::Ok));
        EXPECT_EQ(run.surface.result, 1);
    }
    const EncoderFormat& f = a.encoderFormat;
    EXPECT_EQ(f.raBitsPerRevolution, 32);
    EXPECT_EQ(f.raBitsForRevolutions, 0);
    EXPECT_EQ(f.raLeadingBits, 31);
    EXPECT_EQ(f.raFlags, 0);
    EXPECT_EQ(f.decFlags, 2);
    EXPECT_EQ(f.decBitsPerRevolution, 1);
    EXPECT_EQ(f.decBitsForRevolutions, 31);
    EXPECT_EQ(f.decLeadingBits, 12);

    // Reopening shows what was stored.
    EncoderSetupRun again(a);
    EXPECT_TRUE(again.surface.isChecked(EncoderSetupId::DecGray));
    EXPECT_FALSE(again.surface.isChecked(EncoderSetupId::DecInvert));
    EXPECT_EQ(again.surface.text(EncoderSetupId::RaBitsPerRevolution), "32");
}

TEST(EncoderSetup, OkWithAFieldNoEncoderFormatHoldsNamesItStaysOpenAndStoresNothing)
{
    struct Case {
        int id;
        const char* text;
        const char* hint;
    };
    const Case cases[] = {
        {EncoderSetupId::RaBitsPerRevolution, "300", "RA bits per one revolution must be 1 to 32"},
        {EncoderSetupId::RaBitsPerRevolution, "25300", "RA bits per one revolution must be 1 to 32"},
        {EncoderSetupId::RaBitsPerRevolution, "abc", "RA bits per one revolution must be 1 to 32"},
        {EncoderSetupId::RaBitsPerRevolution, "0", "RA bits per one revolution must be 1 to 32"},
        {EncoderSetupId::RaBitsPerRevolution, "33", "RA bits per one revolution must be 1 to 32"},
        {EncoderSetupId::RaBitsPerRevolution, "-1", "RA bits per one revolution must be 1 to 32"},
        {EncoderSetupId::RaBitsPerRevolution, "4294967321", "RA bits per one revolution must be 1 to 32"},
        {EncoderSetupId::RaBitsForRevolutions, "", "RA bits for revolutions must be 0 to 31"},
        {EncoderSetupId::RaBitsForRevolutions, "32", "RA bits for revolutions must be 0 to 31"},
        {EncoderSetupId::RaBitsForRevolutions, "8", "RA bits for revolutions and per revolution exceed 32"},
        {EncoderSetupId::RaLeadingBits, "x1", "RA leading bits must be 0 to 31"},
        {EncoderSetupId::RaLeadingBits, "32", "RA leading bits must be 0 to 31"},
        {EncoderSetupId::DecBitsPerRevolution, "2.5", "Dec bits per one revolution must be 1 to 32"},
        {EncoderSetupId::DecBitsForRevolutions, "256", "Dec bits for revolutions must be 0 to 31"},
        {EncoderSetupId::DecBitsForRevolutions, "7", "Dec bits for revolutions and per revolution exceed 32"},
        {EncoderSetupId::DecLeadingBits, "268", "Dec leading bits must be 0 to 31"},
    };
    AxisConfiguration a;
    a.encoderFormat.decBitsPerRevolution = 26;   // 26 + 7 revolution bits is one too many
    const AxisConfiguration before = a;
    for (const Case& c : cases) {
        EncoderSetupRun run(a);
        run.surface.type(c.id, c.text);
        run.click(EncoderSetupId::DecInvert);
        EXPECT_TRUE(run.click(EncoderSetupId::Ok));
        EXPECT_FALSE(run.surface.ended) << c.text;
        EXPECT_EQ(run.surface.text(EncoderSetupId::Hint), c.hint) << c.text;
        EXPECT_EQ(a, before) << c.text;
    }

    // Put right, the next Ok goes through.
    EncoderSetupRun run(a);
    run.surface.type(EncoderSetupId::RaBitsPerRevolution, "300");
    run.click(EncoderSetupId::Ok);
    run.surface.type(EncoderSetupId::RaBitsPerRevolution, "24");
    run.click(EncoderSetupId::Ok);
    EXPECT_EQ(run.surface.result, 1);
    EXPECT_EQ(a.encoderFormat.raBitsPerRevolution, 24);
}

TEST(EncoderSetup, FormatFaultsFollowTheEncoderWord)
{
    using F = EncoderFormatFault;
    struct Case {
        std::uint64_t leading, perRevolution, forRevolutions;
        EncoderFormatFault fault;
    };
    const Case cases[] = {
        {12, 25, 0, F::None},
        {0, 1, 0, F::None},
        {31, 32, 0, F::None},
        {0, 1, 31, F::None},
        {31, 16, 16, F::None},
        {0, 0, 0, F::BitsPerRevolution},
        {0, 33, 0, F::BitsPerRevolution},
        {0, 25, 32, F::BitsForRevolutions},
        {32, 25, 0, F::LeadingBits},
        {0, 2, 31, F::DataBits},
        {0, 17, 16, F::DataBits},
        // The first wrong field from the top of the dialog is named.
        {99, 99, 99, F::BitsPerRevolution},
        {99, 25, 99, F::BitsForRevolutions},
    };
    for (const Case& c : cases)
        EXPECT_EQ(encoderFormatFault(c.leading, c.perRevolution, c.forRevolutions), c.fault)
            << c.leading << "/" << c.perRevolution << "/" << c.forRevolutions;
}

TEST(EncoderSetup, OkKeepsTheFlagBitsAndOffsetsItHasNoControlFor)
{
    // Clearing these would silently change the displayed calibration and,
    // with the next format sent, the controller's.
    AxisConfiguration a;
    a.encoderFormat.raFlags = 0x04 | 0x01;
    a.encoderFormat.decFlags = 0x04 | 0x02;
    a.raEncoderOffset = 123456;
    a.decEncoderOffset = 654321;
    a.reverseEncoderBits = 2;
    EncoderSetupRun run(a);
    EXPECT_TRUE(run.surface.isChecked(EncoderSetupId::RaInvert));
    EXPECT_TRUE(run.surface.isChecked(EncoderSetupId::DecGray));
    run.click(EncoderSetupId::RaInvert);
    run.click(EncoderSetupId::RaGray);
    run.click(EncoderSetupId::DecGray);
    run.click(EncoderSetupId::Ok);
    EXPECT_EQ(a.encoderFormat.raFlags, 0x04 | 0x02);
    EXPECT_EQ(a.encoderFormat.decFlags, 0x04);
    EXPECT_EQ(a.raEncoderOffset, 123456u);
    EXPECT_EQ(a.decEncoderOffset, 654321u);
    EXPECT_EQ(a.reverseEncoderBits, 2);
}

TEST(EncoderSetup, CancelEscAndCloseLeaveTheFormatUntouched)
{
    AxisConfiguration a;
    a.encoderFormat.raFlags = 1;
    const AxisConfiguration before = a;
    for (int way = 0; way < 2; ++way) {
        EncoderSetupRun run(a);
        run.surface.type(EncoderSetupId::RaBitsPerRevolution, "13");
        run.click(EncoderSetupId::RaInvert);
        if (way == 0)
            EXPECT_TRUE(run.click(EncoderSetupId::Cancel));
        else
            run.dialog.onClose(run.surface);
        EXPECT_TRUE(run.surface.ended);
        EXPECT_EQ(run.surface.result, 0);
        EXPECT_EQ(a, before);
    }
    EncoderSetupRun run(a);
    EXPECT_FALSE(run.click(EncoderSetupId::RaBitsPerRevolution));
    EXPECT_FALSE(run.surface.ended);
}

// ---- Offset fine-adjust -----------------------------------------------------

struct OffsetRun {
    OffsetRun(std::int32_t channel, std::uint64_t resolution, std::uint64_t offset)
    {
        request.channel = channel;
        request.encoderResolution = resolution;
        request.offset = offset;
        dialog.onInit(surface);
    }
    bool click(int id) { return surface.click(dialog, id); }
    std::string row(int first) const
    {
        return surface.text(first) + " " + surface.text(first + 1) + " " + surface.text(first + 2);
    }

    OffsetAdjustRequest request;
    OffsetAdjustDialog dialog{request};
    FakeSurface surface{dialog.layout()};
};

TEST(OffsetAdjust, ShowsTheOffsetInCountsArcsecondsAndDegrees)
{
    OffsetRun half(0, 33554432, 16777216);
    EXPECT_EQ(half.surface.text(OffsetAdjustId::Channel), "RA");
    EXPECT_EQ(half.row(OffsetAdjustId::OriginalSystem), "16777216 648000 +180:00:00");
    EXPECT_EQ(half.row(OffsetAdjustId::NewSystem), "16777216 648000 +180:00:00");
    EXPECT_EQ(half.request.oldTenths, 6480000u);
    EXPECT_EQ(half.request.newTenths, 6480000u);

    OffsetRun tiny(1, 16777216, 1);
    EXPECT_EQ(tiny.surface.text(OffsetAdjustId::Channel), "Dec");
    EXPECT_EQ(tiny.row(OffsetAdjustId::OriginalSystem), "1 0 +00:00:00");

    OffsetRun rounded(0, 1u << 20, 3);
    EXPECT_EQ(rounded.request.oldTenths, 37u);
    EXPECT_EQ(rounded.surface.text(OffsetAdjustId::OriginalArcsec), "4");

    // Typed by hand, an offset may be a turn or more; its angle is what
    // the controller makes of it, the remainder.
    OffsetRun beyondTurn(0, 1u << 20, (1u << 20) * 3 + (1u << 19));
    EXPECT_EQ(beyondTurn.row(OffsetAdjustId::OriginalSystem), "3670016 648000 +180:00:00");

    OffsetRun noResolution(0, 0, 5000);
    EXPECT_EQ(noResolution.row(OffsetAdjustId::OriginalSystem), "5000 0 +00:00:00");
    noResolution.click(OffsetAdjustId::StepUpFirst + 6);
    EXPECT_EQ(noResolution.request.newOffset, 5000u);
}

TEST(OffsetAdjust, StepsMoveTheNewOffsetAroundTheTurnAndLeaveTheOriginal)
{
    OffsetRun run(0, 33554432, 16777216);
    EXPECT_TRUE(run.click(OffsetAdjustId::StepUpFirst + 5));   // + 1 deg
    EXPECT_EQ(run.request.newOffset, 16777216u + 93207u);
    EXPECT_EQ(run.row(OffsetAdjustId::NewSystem), "16870423 651600 +181:00:00");
    EXPECT_EQ(run.row(OffsetAdjustId::OriginalSystem), "16777216 648000 +180:00:00");
    EXPECT_TRUE(run.click(OffsetAdjustId::StepDownFirst + 5));
    EXPECT_EQ(run.request.newOffset, 16777216u);
    run.click(OffsetAdjustId::StepUpFirst);   // + 0.1 sec: 2.59 counts
    EXPECT_EQ(run.request.newOffset, 16777219u);

    OffsetRun zero(1, 1u << 20, 0);
    zero.click(OffsetAdjustId::StepDownFirst + 3);   // - 1 min: 49 counts, below zero
    EXPECT_EQ(zero.request.newOffset, (1u << 20) - 49u);
    EXPECT_EQ(zero.surface.text(OffsetAdjustId::NewDms), "+359:58:59");
    // A tenth of an arcsecond is 0.08 counts here: it rounds to nothing.
    zero.click(OffsetAdjustId::StepUpFirst);
    EXPECT_EQ(zero.request.newOffset, (1u << 20) - 49u);
}

TEST(OffsetAdjust, OkReturnsOneAndCancelEscOrCloseReturnZero)
{
    OffsetRun ok(0, 1024, 1);
    EXPECT_TRUE(ok.click(OffsetAdjustId::Ok));
    EXPECT_EQ(ok.surface.result, 1);
    OffsetRun cancel(0, 1024, 1);
    EXPECT_TRUE(cancel.click(OffsetAdjustId::Cancel));
    EXPECT_EQ(cancel.surface.result, 0);
    OffsetRun closed(0, 1024, 1);
    closed.dialog.onClose(closed.surface);
    EXPECT_EQ(closed.surface.result, 0);
    OffsetRun other(0, 1024, 1);
    EXPECT_FALSE(other.click(OffsetAdjustId::NewSystem));
    EXPECT_FALSE(other.surface.ended);
}

// ---- Meridian-flip prompt ---------------------------------------------------

struct PromptRun {
    explicit PromptRun(std::int32_t kind) : prompt(kind) { EXPECT_FALSE(prompt.onInit(surface)) << "focus on no control"; }
    bool click(int id) { return surface.click(prompt, id); }

    MeridianFlipPrompt prompt;
    FakeSurface surface{prompt.layout()};
};

TEST(MeridianFlipPrompt, EachKindShowsItsSidesAndOffersPositioningWithoutFlipOnlyWhenRecommended)
{
    const std::string west = "West side: Scope looks to east.";
    const std::string east = "East side: Scope looks to west.";
    struct Row {
        std::int32_t kind;
        std::string present;
        std::string target;
        std::string optional;
        bool withoutFlip;
    };
    const Row rows[] = {
        {2, west, east, "Meridian flip recommended.", true},
        {3, east, west, "Meridian flip recommended.", true},
        {4, west, east, "Meridian flip needed.", false},
        {5, east, west, "Meridian flip needed.", false},
        {1, east, east, "Meridian flip needed.", false},
        {6, east, east, "Meridian flip needed.", false},
        {-1, east, east, "Meridian flip needed.", false},
    };
    for (const Row& row : rows) {
        PromptRun run(row.kind);
        EXPECT_EQ(run.surface.text(PromptId::Present), row.present) << row.kind;
        EXPECT_EQ(run.surface.text(PromptId::Target), row.target) << row.kind;
        EXPECT_EQ(run.surface.text(PromptId::Optional), row.optional) << row.kind;
        EXPECT_EQ(run.surface.at(PromptId::WithoutFlip).enabled, row.withoutFlip) << row.kind;
        EXPECT_TRUE(run.surface.at(PromptId::WithFlip).enabled);
        EXPECT_TRUE(run.surface.at(PromptId::CancelPositioning).enabled);
    }
}

TEST(MeridianFlipPrompt, ButtonsAnswerEnterDoesNothingEscCancels)
{
    PromptRun without(3);
    EXPECT_TRUE(without.click(PromptId::WithoutFlip));
    EXPECT_TRUE(without.surface.ended);
    EXPECT_EQ(without.prompt.answer(), FlipAnswer::WithoutFlip);

    PromptRun with(4);
    EXPECT_TRUE(with.click(PromptId::WithFlip));
    EXPECT_EQ(with.prompt.answer(), FlipAnswer::WithFlip);

    PromptRun cancel(2);
    EXPECT_TRUE(cancel.click(PromptId::CancelPositioning));
    EXPECT_EQ(cancel.prompt.answer(), FlipAnswer::Cancel);

    PromptRun enter(2);
    EXPECT_TRUE(enter.prompt.onCommand(enter.surface, PromptId::Ok));
    EXPECT_FALSE(enter.surface.ended);
    EXPECT_TRUE(enter.prompt.onCommand(enter.surface, PromptId::Cancel));
    EXPECT_TRUE(enter.surface.ended);
    EXPECT_EQ(enter.prompt.answer(), FlipAnswer::Cancel);

    PromptRun closed(1);
    closed.prompt.onClose(closed.surface);
    EXPECT_TRUE(closed.surface.ended);
    EXPECT_EQ(closed.prompt.answer(), FlipAnswer::Cancel);
}

TEST(MeridianFlipPrompt, PositioningWithoutFlipCannotBeChosenWhereTheFlipIsNeeded)
{
    // The button is disabled; even a command that slips through (a renderer
    // bug, a keyboard shortcut) must not answer for the operator.
    PromptRun needed(5);
    EXPECT_TRUE(needed.prompt.onCommand(needed.surface, PromptId::WithoutFlip));
    EXPECT_FALSE(needed.surface.ended);
    EXPECT_EQ(needed.prompt.answer(), FlipAnswer::Cancel);
}

}  // namespace
}  // namespace kv7::test
