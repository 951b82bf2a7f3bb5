// KV7EncoderSetup.exe: the desktop program on Windows.
#include <string>
#include <utility>
#include <vector>

#include "app/UserSettings.h"
#include "entry/Application.h"
#include "platform/AtomicFile.h"
#include "platform/SettingsFile.h"
#include "platform/win32/WindowsPortCatalog.h"
#include "sim/hosts/win32/PipeSimulator.h"
#include "ui/DlgMain.h"
#include "ui/WindowTranscript.h"
#include "ui/win32/Win32Api.h"
#include "ui/win32/Win32DialogHost.h"
#include "version/Version.h"

namespace {

// A windowed program has no console of its own: the line goes to the
// standard output it was given (a pipe, a file), else to the console of
// the command prompt that started it, else into a message box.
void tellVersion()
{
    const std::string line = kv7::versionLine("KV7EncoderSetup") + "\r\n";
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    bool attached = false;
    if ((out == nullptr || out == INVALID_HANDLE_VALUE) && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        attached = true;
        out = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    }
    DWORD written = 0;
    if (out == nullptr || out == INVALID_HANDLE_VALUE ||
        !::WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr))
        ::MessageBoxW(nullptr, kv7::widen(line).c_str(), L"KV7EncoderSetup", MB_OK);
    if (attached) {
        ::CloseHandle(out);
        ::FreeConsole();
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int)
{
    if (commandLine && std::string(commandLine) == "--version") {
        tellVersion();
        return 0;
    }
    // The trackbar lives in the "bar" classes; without them the main window
    // cannot be built, so say so before anything starts.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES | ICC_COOL_CLASSES;
    if (!::InitCommonControlsEx(&controls)) {
        ::MessageBoxA(nullptr, "Init Common Controls failed", "Error", MB_OK);
        return 0;
    }

    kv7::sim::PipeSimulator simulator;
    kv7::WindowsPortCatalog catalog;
    catalog.setSimulator(&simulator);

    kv7::SettingsFile settings(kv7::defaultSettingsPath());
    kv7::WindowTranscript transcript;
    std::string transcriptError;
    std::vector<std::string> problems;
    kv7::Application::Options options;
    options.catalog = transcript.wrap(std::vector<std::string>(__argv + 1, __argv + __argc),
                                      kv7::loadUserSettings(settings, problems), catalog, transcriptError);
    if (!transcriptError.empty())
        ::MessageBoxA(nullptr, transcriptError.c_str(), "Transcript", MB_OK);
    kv7::Application app(options);

    kv7::SettingsFile windowOptions(kv7::windowOptionsPath());
    kv7::Win32DialogHost host(instance);
    kv7::DlgMain mainDialog(&app.control(), &app.model(), &host);
    mainDialog.setPortChoices(kv7::comPortChoices(catalog.entries()));
    // The list is made anew each time it drops down, from the catalogue.
    mainDialog.setPortSource([&catalog] { return kv7::comPortChoices(catalog.entries()); });
    mainDialog.setSettingsStore(settings.ifPlaced());
    mainDialog.setOptionsStore(windowOptions.ifPlaced());
    mainDialog.setFileAccess({kv7::atomicfile::readNamed, kv7::atomicfile::replace});
    return app.run(&mainDialog, &mainDialog, [&] { mainDialog.runDialog(); });
}
