// KV7EncoderSetup.exe as a user meets it: started as a process of its own,
// found by its caption and driven through its dialog items from outside.
// Optionally saves pictures of the connected window and two of its dialogs
// (windows-main.bmp, windows-about.bmp, windows-encoder-setup.bmp).
//
//   win32_app_driver <path of KV7EncoderSetup.exe> [picture directory]
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <filesystem>
#include <fstream>
#include <string>

#include "WindowDriver.h"
#include "WinePath.h"
#include "astro/TextConvert.h"
#include "ui/Branding.h"
#include "ui/ControlIds.h"
#include "ui/WritePreviewDialog.h"

namespace kv7::test {
namespace {

using namespace std::chrono_literals;

std::wstring programPath;
std::string pictureDir;

// Copies the window as it is on the screen into a 24-bit BMP file.
bool saveWindowPicture(HWND window, const std::string& file)
{
    RECT r{};
    ::GetWindowRect(window, &r);
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HBITMAP bitmap = ::CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = ::SelectObject(memory, bitmap);
    ::BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(memory, old);

    BITMAPINFOHEADER info{};
    info.biSize = sizeof info;
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = 24;
    info.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::string pixels(stride * static_cast<DWORD>(height), '\0');
    const int rows = ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                                 reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    ::DeleteObject(bitmap);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    if (rows != height)
        return false;

    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + static_cast<DWORD>(pixels.size());
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&header), sizeof header);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    return static_cast<bool>(out);
}

// Saves the window into the picture directory, if one was given.
void picture(HWND window, const char* name)
{
    if (pictureDir.empty())
        return;
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    std::this_thread::sleep_for(500ms);   // let the X server show what was drawn
    EXPECT_TRUE(saveWindowPicture(window, pictureDir + "/" + name)) << name;
}

bool postClick(HWND dialog, int id)
{
    HWND item = ::GetDlgItem(dialog, id);
    return item && ::IsWindowEnabled(item) &&
           ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item));
}

// This process's environment with APPDATA naming another folder, as a
// block CreateProcessW takes.
std::wstring environmentWithAppData(const std::wstring& folder)
{
    std::wstring block;
    if (wchar_t* all = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = all; *entry; entry += std::wcslen(entry) + 1) {
            if (::_wcsnicmp(entry, L"APPDATA=", 8) != 0)
                block.append(entry).push_back(L'\0');
        }
        ::FreeEnvironmentStringsW(all);
    }
    block.append(L"APPDATA=" + folder).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

class Program {
public:
    // appData: the folder the program keeps its settings in (empty: this
    // process's own).
    explicit Program(const std::wstring& appData = {})
    {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        std::wstring commandLine = L"\"" + windowsPath(programPath) + L"\"";
        std::wstring environment = appData.empty() ? std::wstring() : environmentWithAppData(appData);
        started = ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE,
                                   environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT,
                                   environment.empty() ? nullptr : environment.data(), nullptr, &startup,
                                   &process) != 0;
    }
    ~Program()
    {
        if (!started)
            return;
        if (::WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0)
            ::TerminateProcess(process.hProcess, 1);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Closes the window with its close box and waits for the process to end.
    bool close(HWND window, DWORD* exitCode)
    {
        ::PostMessageW(window, WM_CLOSE, 0, 0);
        if (::WaitForSingleObject(process.hProcess, 20000) != WAIT_OBJECT_0)
            return false;
        return ::GetExitCodeProcess(process.hProcess, exitCode) != 0;
    }

    bool started = false;
    PROCESS_INFORMATION process{};
};

std::uint32_t dialogInt(HWND w, int id)
{
    BOOL ok = FALSE;
    const UINT value = ::GetDlgItemInt(w, id, &ok, FALSE);
    EXPECT_TRUE(ok) << "field " << id << " holds '" << itemText(w, id) << "'";
    return value;
}

// More than a few arcseconds either side of an axis's zero.
bool clearOfZero(std::uint32_t arcseconds) { return arcseconds >= 10 && arcseconds <= 1296000 - 10; }

std::string dms(std::uint32_t arcseconds)
{
    char text[128] = {};
    formatSignedDms(text, sizeof text, 0, static_cast<std::int32_t>(arcseconds), ':', ':');
    return text;
}

TEST(KV7EncoderSetup, StartsConnectsToTheSimulatorReadsEncodersAndEndsWithItsWindow)
{
    ASSERT_FALSE(programPath.empty()) << "usage: win32_app_driver <KV7EncoderSetup.exe> [picture directory]";
    Program program;
    ASSERT_TRUE(program.started) << "cannot start the program, error " << ::GetLastError();
    HWND w = waitForDialog(widen(mainCaption.data()), 30s, program.process.dwProcessId);
    ASSERT_NE(w, nullptr);

    // As it opens (the in-process suite checks the rest of this state).
    ::SetCursorPos(0, 0);
    picture(w, "windows-start.bmp");
    EXPECT_FALSE(itemEnabled(w, MainId::ReadEncoders));
    ASSERT_EQ(::SendDlgItemMessageW(w, MainId::PortList, CB_GETCOUNT, 0, 0), 256);
    // The first port the machine has (named with its device), else the simulator.
    std::string firstPresent = "Simulator";
    for (int i = 0; i < 255 && firstPresent == "Simulator"; ++i) {
        wchar_t entry[64] = {};
        ::SendDlgItemMessageW(w, MainId::PortList, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry));
        if (std::wstring(entry).find(L" - ") != std::wstring::npos)
            firstPresent = narrow(entry);
    }
    EXPECT_EQ(itemText(w, MainId::PortList), firstPresent);

    // "Simulator", the last entry, then Connect.
    ::SendDlgItemMessageW(w, MainId::PortList, CB_SETCURSEL, 255, 0);
    EXPECT_EQ(itemText(w, MainId::PortList), "Simulator");
    ASSERT_TRUE(click(w, MainId::Connect));
    ASSERT_TRUE(waitUntil([&] { return itemText(w, MainId::StatusLine) == "Connection established."; }, 30s))
        << "status line: " << itemText(w, MainId::StatusLine);
    for (int id : MainId::operatingControls)
        EXPECT_TRUE(itemEnabled(w, id)) << id;

    // Tracking on and the hand pad north, so that both axes move off their
    // zero; each reading is awaited before the next is asked for.
    ASSERT_TRUE(click(w, MainId::TrackOn));
    ASSERT_TRUE(click(w, MainId::North));
    const bool moved = waitUntil(
        [&] {
            const std::string before = itemText(w, MainId::RaEncoderSystem) + "/" + itemText(w, MainId::DecEncoderSystem);
            click(w, MainId::ReadEncoders);
            waitUntil([&] { return itemText(w, MainId::RaEncoderSystem) + "/" + itemText(w, MainId::DecEncoderSystem) != before; },
                      2s);
            return clearOfZero(::GetDlgItemInt(w, MainId::RaEncoderArcsec, nullptr, FALSE)) &&
                   clearOfZero(::GetDlgItemInt(w, MainId::DecEncoderArcsec, nullptr, FALSE));
        },
        30s);
    ASSERT_TRUE(click(w, MainId::Stop));
    ASSERT_TRUE(moved) << "the encoders never left zero";
    EXPECT_EQ(::IsDlgButtonChecked(w, MainId::TrackOn), BST_CHECKED);
    const std::uint32_t raBits = dialogInt(w, MainId::RaBitsPerRevolution);
    const std::uint32_t decBits = dialogInt(w, MainId::DecBitsPerRevolution);
    const std::uint32_t ra = dialogInt(w, MainId::RaEncoderSystem);
    const std::uint32_t raArcsec = dialogInt(w, MainId::RaEncoderArcsec);
    const std::uint32_t dec = dialogInt(w, MainId::DecEncoderSystem);
    const std::uint32_t decArcsec = dialogInt(w, MainId::DecEncoderArcsec);
    ASSERT_LT(raBits, 33u);
    ASSERT_LT(decBits, 33u);
    // The three forms of each reading agree with one another.
    EXPECT_EQ(raArcsec, static_cast<std::uint32_t>(std::uint64_t{ra} * 1296000 >> raBits));
    EXPECT_EQ(decArcsec, static_cast<std::uint32_t>(std::uint64_t{dec} * 1296000 >> decBits));
    EXPECT_EQ(itemText(w, MainId::RaEncoderDms), dms(raArcsec));
    EXPECT_EQ(itemText(w, MainId::DecEncoderDms), dms(decArcsec));
    std::printf("read: RA %u counts, %u arcsec, %s; Dec %u counts, %u arcsec, %s\n", ra, raArcsec,
                itemText(w, MainId::RaEncoderDms).c_str(), dec, decArcsec, itemText(w, MainId::DecEncoderDms).c_str());

    // The sidereal time, shown on request as HH:MM:SS.
    ASSERT_TRUE(click(w, MainId::TimeGet));
    const std::string lst = itemText(w, MainId::SiderealTime);
    ASSERT_EQ(lst.size(), 8u) << lst;
    EXPECT_EQ(lst[2], ':');
    EXPECT_EQ(lst[5], ':');
    EXPECT_LT(std::stoi(lst.substr(0, 2)), 24);

    // The pointer out of the way, so no button shows a hover highlight.
    ::SetCursorPos(0, 0);
    picture(w, "windows-main.bmp");

    // A click that opens a modal dialog is posted: the dialog's loop runs
    // inside the handling of the click, so a sent one would not return.
    ASSERT_TRUE(postClick(w, MainId::About));
    HWND about = waitForDialog(L"KV7-Encoder test", 20s, program.process.dwProcessId);
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(::IsWindowEnabled(w));   // modal over the main window
    EXPECT_EQ(itemText(about, AboutId::WebLink), makerWebAddress);
    picture(about, "windows-about.bmp");
    ASSERT_TRUE(click(about, AboutId::Exit));
    EXPECT_TRUE(waitUntil([&] { return ::IsWindowEnabled(w) != FALSE; }, 10s));

    // Encoder setup shows the format the controller reported; Cancel sends nothing.
    ASSERT_TRUE(postClick(w, MainId::EncoderSetup));
    HWND setup = waitForDialog(L"Encoder setup", 20s, program.process.dwProcessId);
    ASSERT_NE(setup, nullptr);
    EXPECT_EQ(itemText(setup, EncoderSetupId::RaBitsPerRevolution), itemText(w, MainId::RaBitsPerRevolution));
    EXPECT_EQ(itemText(setup, EncoderSetupId::DecBitsPerRevolution), itemText(w, MainId::DecBitsPerRevolution));
    picture(setup, "windows-encoder-setup.bmp");
    const std::string statusBefore = itemText(w, MainId::StatusLine);
    ASSERT_TRUE(click(setup, EncoderSetupId::Cancel));
    EXPECT_TRUE(waitUntil([&] { return ::IsWindowEnabled(w) != FALSE; }, 10s));
    EXPECT_EQ(itemText(w, MainId::StatusLine), statusBefore);

    // A write first shows what it will change; Cancel sends nothing and
    // puts the box back as the controller holds it.
    HWND reverse = ::GetDlgItem(w, MainId::DecReverseMotor);
    ASSERT_TRUE(reverse && ::PostMessageW(reverse, BM_CLICK, 0, 0));
    HWND preview = waitForDialog(L"Before writing to the controller", 20s, program.process.dwProcessId);
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(itemText(preview, PreviewId::FieldFirst), "motor.reverseMotorBits");
    EXPECT_EQ(itemText(preview, PreviewId::NowFirst), "0");
    EXPECT_EQ(itemText(preview, PreviewId::AfterFirst), "2");
    picture(preview, "windows-write-preview.bmp");
    ASSERT_TRUE(click(preview, PreviewId::Cancel));
    EXPECT_TRUE(waitUntil([&] { return ::IsWindowEnabled(w) != FALSE; }, 10s));
    EXPECT_EQ(::IsDlgButtonChecked(w, MainId::DecReverseMotor), static_cast<UINT>(BST_UNCHECKED));

    DWORD exitCode = 99;
    ASSERT_TRUE(program.close(w, &exitCode));
    EXPECT_EQ(exitCode, 0u);
}

TEST(KV7EncoderSetup, ASecondCopyOpensBesideTheFirstRatherThanExactlyOverIt)
{
    Program first;
    ASSERT_TRUE(first.started);
    HWND one = waitForDialog(widen(mainCaption.data()), 30s, first.process.dwProcessId);
    ASSERT_NE(one, nullptr);
    Program second;
    ASSERT_TRUE(second.started);
    HWND two = waitForDialog(widen(mainCaption.data()), 30s, second.process.dwProcessId);
    ASSERT_NE(two, nullptr);
    RECT a{};
    RECT b{};
    ::GetWindowRect(one, &a);
    ::GetWindowRect(two, &b);
    EXPECT_GT(b.left, a.left);
    EXPECT_GT(b.top, a.top);
    DWORD exitCode = 99;
    EXPECT_TRUE(second.close(two, &exitCode));
    EXPECT_TRUE(first.close(one, &exitCode));
}

TEST(KV7EncoderSetup, KeepsTheSiteSetInItsSettingsFileForTheNextStart)
{
    ASSERT_FALSE(programPath.empty()) << "usage: win32_app_driver <KV7EncoderSetup.exe> [picture directory]";
    namespace fs = std::filesystem;
    wchar_t temp[MAX_PATH] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    const fs::path appData = fs::path(temp) / (L"kv7-app-driver-" + std::to_wstring(::GetCurrentProcessId()));
    std::error_code ec;
    fs::remove_all(appData, ec);
    ASSERT_TRUE(fs::create_directories(appData, ec)) << ec.message();

    std::string longitudeShown;
    {
        Program program(appData.wstring());
        ASSERT_TRUE(program.started) << "cannot start the program, error " << ::GetLastError();
        HWND w = waitForDialog(widen(mainCaption.data()), 30s, program.process.dwProcessId);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(itemText(w, MainId::SiteNote), "(default)");
        ::SetDlgItemTextA(w, MainId::Latitude, "48.5");
        ::SetDlgItemTextA(w, MainId::Longitude, "-10.25");
        ASSERT_TRUE(click(w, MainId::PlaceSet));
        EXPECT_EQ(itemText(w, MainId::SiteNote), "");
        longitudeShown = itemText(w, MainId::Longitude);
        DWORD exitCode = 99;
        ASSERT_TRUE(program.close(w, &exitCode));
    }
    EXPECT_TRUE(fs::exists(appData / L"kv7" / L"settings.ini"));
    {
        Program program(appData.wstring());
        ASSERT_TRUE(program.started) << "cannot start the program, error " << ::GetLastError();
        HWND w = waitForDialog(widen(mainCaption.data()), 30s, program.process.dwProcessId);
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(itemText(w, MainId::Longitude), longitudeShown);
        EXPECT_EQ(itemText(w, MainId::SiteNote), "");
        DWORD exitCode = 99;
        ASSERT_TRUE(program.close(w, &exitCode));
    }
    fs::remove_all(appData, ec);
}

}  // namespace
}  // namespace kv7::test

int main(int argc, char** argv)
{
    // gtest takes its own options out of argv; what is left is ours.
    ::testing::InitGoogleTest(&argc, argv);
    if (argc > 1)
        kv7::test::programPath = kv7::widen(argv[1]);
    if (argc > 2)
        kv7::test::pictureDir = argv[2];
    return RUN_ALL_TESTS();
}
