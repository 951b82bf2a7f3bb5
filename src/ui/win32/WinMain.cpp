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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
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
