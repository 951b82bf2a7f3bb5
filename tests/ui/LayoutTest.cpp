// The layout tables: sizes, ids and geometry that both renderers rely on.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "ui/ControlIds.h"
#include "ui/DialogLayouts.h"

namespace kv7::test {
namespace {

struct Expected {
    const DialogLayout& layout;
    int templateId;
    std::int16_t width;
    std::int16_t height;
};

const Expected dialogs[] = {
    {mainDialogLayout(), 100, 456, 320},
    {encoderSetupLayout(), 101, 248, 154},
    {offsetAdjustLayout(), 102, 324, 134},
    {meridianFlipPromptLayout(), 103, 192, 120},
    {aboutBoxLayout(), 104, 192, 105},
};

// A closed drop-down list is one line high; its table height includes the list.
DialogRect visible(const ControlEntry& c)
{
    DialogRect r = c.rect;
    if (c.kind == ControlKind::DropDownList)
        r.cy = 12;
    return r;
}

bool overlap(const DialogRect& a, const DialogRect& b)
{
    return a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy;
}

TEST(DialogLayouts, SizesMatchAndEveryControlLiesInsideWithoutCoveringAnother)
{
    for (const Expected& e : dialogs) {
        const DialogLayout& l = e.layout;
        SCOPED_TRACE(l.caption);
        EXPECT_EQ(l.templateId, e.templateId);
        EXPECT_EQ(l.rect.cx, e.width);
        EXPECT_EQ(l.rect.cy, e.height);
        for (std::size_t i = 0; i < l.controls.size(); ++i) {
            const ControlEntry& a = l.controls[i];
            const DialogRect ra = visible(a);
            EXPECT_GE(ra.x, 0) << a.caption << " " << a.id;
            EXPECT_GE(ra.y, 0) << a.caption << " " << a.id;
            EXPECT_LE(ra.x + ra.cx, l.rect.cx) << a.caption << " " << a.id;
            EXPECT_LE(ra.y + ra.cy, l.rect.cy) << a.caption << " " << a.id;
            if (a.kind == ControlKind::GroupBox)
                continue;
            for (std::size_t j = i + 1; j < l.controls.size(); ++j) {
                const ControlEntry& b = l.controls[j];
                if (b.kind == ControlKind::GroupBox)
                    continue;
                EXPECT_FALSE(overlap(ra, visible(b))) << a.caption << " " << a.id << " / " << b.caption << " " << b.id;
            }
        }
    }
}

TEST(DialogLayouts, AddressedIdsAreUnique)
{
    for (const Expected& e : dialogs) {
        std::map<int, int> seen;
        for (const ControlEntry& c : e.layout.controls)
            ++seen[c.id];
        for (const auto& [id, count] : seen) {
            // -1 marks labels nobody addresses; both encoder-setup groups carry 900.
            if (id == -1 || (id == EncoderSetupId::Group && &e.layout == &encoderSetupLayout()))
                continue;
            EXPECT_EQ(count, 1) << e.layout.caption << " id " << id;
        }
    }
}

TEST(DialogLayouts, MainWindowHasEveryOperatingControlAndTheKindsTheLogicExpects)
{
    const DialogLayout& l = mainDialogLayout();
    for (int id : MainId::operatingControls)
        EXPECT_NE(findControl(l, id), nullptr) << id;
    auto kind = [&](int id) { return findControl(l, id)->kind; };
    EXPECT_EQ(kind(MainId::PortList), ControlKind::DropDownList);
    EXPECT_EQ(kind(MainId::Speed), ControlKind::Slider);
    for (int id : {MainId::North, MainId::South, MainId::East, MainId::West})
        EXPECT_EQ(kind(id), ControlKind::ArrowButton);
    for (int id : {MainId::TrackOn, MainId::TrackOff, MainId::FlipEast, MainId::FlipWest, MainId::SetEast,
                   MainId::SetWest}) {
        EXPECT_EQ(kind(id), ControlKind::PushLikeCheckBox);
        EXPECT_TRUE(findControl(l, id)->flags & ControlFlag::ManualCheck);
    }
    for (int id : {MainId::Baud115200, MainId::RaReverseMotor, MainId::DecReverseEncoder})
        EXPECT_EQ(kind(id), ControlKind::CheckBox);
    // The operator types into these three kinds of field only.
    for (const ControlEntry& c : l.controls) {
        if (c.kind != ControlKind::Edit)
            continue;
        const bool editable = c.id == MainId::RaEncoderOffset || c.id == MainId::DecEncoderOffset ||
                              c.id == MainId::TargetRa || c.id == MainId::TargetDec || c.id == MainId::Latitude ||
                              c.id == MainId::Longitude || c.id == MainId::UniversalTime;
        EXPECT_EQ((c.flags & ControlFlag::ReadOnly) == 0, editable) << c.id;
    }
    EXPECT_EQ(findControl(l, MainId::StatusLine)->rect.cx, 306);
    EXPECT_EQ(findControl(l, MainId::MessageLine)->rect.cx, 140);
}

}  // namespace
}  // namespace kv7::test
