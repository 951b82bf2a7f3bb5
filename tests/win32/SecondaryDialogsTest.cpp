// The secondary dialogs as the Win32 renderer builds them: fonts made for
// single labels and released when the dialog closes, the About box's link
// (subclassed for the hand cursor, drawn in the hot-track colour), and the
// handlers' results through real dialog items.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WindowDriver.h"
#include "app/Records.h"
#include "ui/AboutBox.h"
#include "ui/Branding.h"
#include "ui/ControlIds.h"
#include "ui/DialogLayouts.h"
#include "ui/EncoderSetupDialog.h"
#include "ui/MeridianFlipPrompt.h"
#include "ui/OffsetAdjustDialog.h"
#include "ui/win32/Win32DialogHost.h"

namespace kv7::test {
namespace {

// Runs dialogs through the Win32 host but keeps web addresses to itself.
class QuietHost final : public iDialogHost {
public:
    int runModal(iDialogHandler& handler) override { return windows.runModal(handler); }
    void openWebAddress(const char* address) override { opened.emplace_back(address); }

    Win32DialogHost windows{::GetModuleHandleW(nullptr)};
    std::vector<std::string> opened;
};

HFONT fontOf(HWND dialog, int id)
{
    return reinterpret_cast<HFONT>(::SendDlgItemMessageW(dialog, id, WM_GETFONT, 0, 0));
}

TEST(AboutBox, ShowsABoldTitleAndAnUnderlinedLinkThatOpensTheAddress)
{
    QuietHost host;
    HFONT titleFont = nullptr;
    HFONT linkFont = nullptr;
    const int result = runDriven(
        [&] {
            AboutBox box(host);
            return host.runModal(box);
        },
        L"KV7-Encoder test",
                                 [&](HWND w) {
        const LOGFONTW title = itemFont(w, AboutId::Title);
        EXPECT_EQ(title.lfHeight, 16);
        EXPECT_EQ(title.lfWeight, FW_BOLD);
        const LOGFONTW link = itemFont(w, AboutId::WebLink);
        EXPECT_TRUE(link.lfUnderline);
        EXPECT_EQ(link.lfWeight, itemFont(w, AboutId::Purpose).lfWeight);
        EXPECT_FALSE(itemFont(w, AboutId::Purpose).lfUnderline);
        titleFont = fontOf(w, AboutId::Title);
        linkFont = fontOf(w, AboutId::WebLink);
        EXPECT_EQ(itemText(w, AboutId::WebLink), makerWebAddress);

        // The link has a procedure of its own (for the hand cursor); its
        // neighbours keep the static class's.
        HWND linkLabel = ::GetDlgItem(w, AboutId::WebLink);
        HWND purpose = ::GetDlgItem(w, AboutId::Purpose);
        EXPECT_NE(::GetWindowLongPtrW(linkLabel, GWLP_WNDPROC), ::GetWindowLongPtrW(purpose, GWLP_WNDPROC));
        EXPECT_NE(::GetWindowLongW(linkLabel, GWL_STYLE) & SS_NOTIFY, 0);
        EXPECT_EQ(::SendMessageW(linkLabel, WM_SETCURSOR, reinterpret_cast<WPARAM>(linkLabel),
                                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
                  TRUE);

        // Hot-track colour on the dialog's own background; other labels as usual.
        HDC dc = ::CreateCompatibleDC(nullptr);
        const LRESULT brush = ::SendMessageW(w, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                             reinterpret_cast<LPARAM>(linkLabel));
        EXPECT_EQ(reinterpret_cast<HGDIOBJ>(brush), ::GetStockObject(NULL_BRUSH));
        EXPECT_EQ(::GetTextColor(dc), ::GetSysColor(COLOR_HOTLIGHT));
        EXPECT_EQ(::GetBkMode(dc), TRANSPARENT);
        const LRESULT plain = ::SendMessageW(w, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                             reinterpret_cast<LPARAM>(purpose));
        EXPECT_NE(reinterpret_cast<HGDIOBJ>(plain), ::GetStockObject(NULL_BRUSH));
        EXPECT_NE(::GetTextColor(dc), ::GetSysColor(COLOR_HOTLIGHT));
        ::DeleteDC(dc);

        // A click on the link opens the address and leaves the box open.
        ::SendMessageW(w, WM_COMMAND, MAKEWPARAM(AboutId::WebLink, STN_CLICKED), reinterpret_cast<LPARAM>(linkLabel));
        EXPECT_TRUE(::IsWindowVisible(w));
        EXPECT_TRUE(click(w, AboutId::Exit));
    });
    EXPECT_EQ(result, 1);
    ASSERT_EQ(host.opened.size(), 1u);
    EXPECT_EQ(host.opened[0], makerWebAddress);
    // Both fonts made for the box are gone with it.
    ASSERT_NE(titleFont, nullptr);
    EXPECT_EQ(::GetObjectType(titleFont), 0u);
    EXPECT_EQ(::GetObjectType(linkFont), 0u);
}

TEST(MeridianFlipPrompt, OffersOnlyTheFlipWhenItIsNeededAndIgnoresEnter)
{
    QuietHost host;
    std::uint16_t answer = 99;
    runDriven(
        [&] {
            answer = showMeridianFlipPrompt(host, 4);
            return 0;
        },
        L"Meridian flip before positioning",
        [&](HWND w) {
            EXPECT_EQ(itemText(w, PromptId::Present), "West side: Scope looks to east.");
            EXPECT_EQ(itemText(w, PromptId::Target), "East side: Scope looks to west.");
            EXPECT_EQ(itemText(w, PromptId::Optional), "Meridian flip needed.");
            EXPECT_FALSE(itemEnabled(w, PromptId::WithoutFlip));
            EXPECT_TRUE(itemEnabled(w, PromptId::WithFlip));
            ::SendMessageW(w, WM_COMMAND, IDOK, 0);
            EXPECT_TRUE(::IsWindowVisible(w));
            EXPECT_TRUE(click(w, PromptId::WithFlip));
        });
    EXPECT_EQ(answer, FlipAnswer::WithFlip);
}

TEST(OffsetAdjustDialog, ShowsTheChannelInALargeBoldFontAndReleasesIt)
{
    QuietHost host;
    OffsetAdjustRequest request;
    request.channel = 1;
    request.encoderResolution = std::uint64_t{1} << 25;
    request.offset = std::uint64_t{1} << 24;
    HFONT heading = nullptr;
    const int result = runDriven([&] { return showOffsetAdjust(host, request); }, L"Fine adjust encoder offset",
                                 [&](HWND w) {
        const LOGFONTW font = itemFont(w, OffsetAdjustId::Channel);
        EXPECT_EQ(font.lfHeight, 24);
        EXPECT_EQ(font.lfWeight, FW_BOLD);
        heading = fontOf(w, OffsetAdjustId::Channel);
        EXPECT_EQ(itemText(w, OffsetAdjustId::Channel), "Dec");
        EXPECT_EQ(itemText(w, OffsetAdjustId::OriginalSystem), "16777216");
        EXPECT_EQ(itemText(w, OffsetAdjustId::OriginalDms), "+180:00:00");
        ::SendMessageW(w, WM_COMMAND, IDCANCEL, 0);   // Esc
    });
    EXPECT_EQ(result, 0);
    ASSERT_NE(heading, nullptr);
    EXPECT_EQ(::GetObjectType(heading), 0u);
}

// Read-only fields are no tab stops, hold no focus and have nothing selected
// once the dialog shows.
void expectReadOnlyFieldsUnfocused(HWND w, const DialogLayout& layout)
{
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(w, nullptr), &gui);
    for (const ControlEntry& entry : layout.controls) {
        if (entry.kind != ControlKind::Edit || !(entry.flags & ControlFlag::ReadOnly))
            continue;
        HWND field = ::GetDlgItem(w, entry.id);
        EXPECT_EQ(::GetWindowLongW(field, GWL_STYLE) & WS_TABSTOP, 0) << entry.id;
        EXPECT_NE(gui.hwndFocus, field) << entry.id;
        DWORD start = 0;
        DWORD end = 0;
        ::SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, end) << entry.id;
    }
}

TEST(ReadOnlyFields, TakeNeitherTheFirstFocusNorASelectionInThePromptAndFineAdjust)
{
    QuietHost host;
    runDriven([&] { return showMeridianFlipPrompt(host, 3); }, L"Meridian flip before positioning", [&](HWND w) {
        expectReadOnlyFieldsUnfocused(w, meridianFlipPromptLayout());
        EXPECT_TRUE(click(w, PromptId::CancelPositioning));
    });
    OffsetAdjustRequest request;
    request.encoderResolution = std::uint64_t{1} << 20;
    request.offset = 4096;
    runDriven([&] { return showOffsetAdjust(host, request); }, L"Fine adjust encoder offset", [&](HWND w) {
        expectReadOnlyFieldsUnfocused(w, offsetAdjustLayout());
        ::SendMessageW(w, WM_COMMAND, IDCANCEL, 0);
    });
}

TEST(EncoderSetupDialog, ReadsWhatWasTypedIntoItsEditsOnOkAndNamesAFieldNoFormatHolds)
{
    QuietHost host;
    AxisConfiguration configuration;
    const int result = runDriven([&] { return showEncoderSetup(host, configuration); }, L"Encoder setup",
                                 [&](HWND w) {
        EXPECT_EQ(itemText(w, EncoderSetupId::RaBitsPerRevolution), "25");
        EXPECT_EQ(::IsDlgButtonChecked(w, EncoderSetupId::DecGray), BST_UNCHECKED);
        ::SetDlgItemTextA(w, EncoderSetupId::RaBitsPerRevolution, "300");
        ::SetDlgItemTextA(w, EncoderSetupId::DecLeadingBits, "7");
        // An automatic check box toggles itself on a click.
        ::SendDlgItemMessageW(w, EncoderSetupId::DecGray, BM_CLICK, 0, 0);
        EXPECT_EQ(::IsDlgButtonChecked(w, EncoderSetupId::DecGray), BST_CHECKED);
        ::SendMessageW(w, WM_COMMAND, IDOK, 0);   // Enter
        // 300 would go out cut to a byte, as 44: the dialog stays and says why.
        EXPECT_TRUE(::IsWindowVisible(w));
        EXPECT_EQ(itemText(w, EncoderSetupId::Hint), "RA bits per one revolution must be 1 to 32");
        ::SetDlgItemTextA(w, EncoderSetupId::RaBitsPerRevolution, "32");
        ::SendMessageW(w, WM_COMMAND, IDOK, 0);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(configuration.encoderFormat.raBitsPerRevolution, 32);
    EXPECT_EQ(configuration.encoderFormat.decLeadingBits, 7);
    EXPECT_EQ(configuration.encoderFormat.decFlags & 2, 2);
}

}  // namespace
}  // namespace kv7::test
