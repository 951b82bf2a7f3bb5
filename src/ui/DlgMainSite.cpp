// The main window's site and clock: the operator's site kept in the
// settings file, UT and LST with a clock correction, and the port list.
#include "ui/DlgMain.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "app/Codes.h"
#include "app/StatusText.h"
#include "astro/TextConvert.h"
#include "ui/ControlIds.h"
#include "ui/FieldText.h"
#include "ui/RecordFields.h"
#include "ui/TargetText.h"
#include "ui/WindowText.h"

namespace kv7 {

void DlgMain::setSettingsStore(iSettingsStore* store)
{
    settingsStore = store;
    siteProblem.clear();
    if (!store)
        return;
    std::vector<std::string> problems;
    site = loadUserSettings(*store, problems);
    if (!site.siteSet && !problems.empty())
        siteProblem = "Stored site unreadable: " + problems.front();
    model->setSiteLongitude(site.longitude);
    if (window.load(std::memory_order_relaxed)) {
        showSite();
        if (!siteProblem.empty())
            showMessage(siteProblem.c_str());
    }
}

void DlgMain::showSiderealTime(int)
{
    // Back to the computer's clock.
    model->setUtcCorrection(0);
    shownUtc.clear();
    surface().setText(MainId::UniversalTime, "");
    showTime();
}

void DlgMain::showTime()
{
    iControlSurface& dialog = surface();
    char typed[64];
    dialog.getText(MainId::UniversalTime, typed, sizeof typed);
    // A field that differs from what was last shown is being typed into.
    if (shownUtc == typed) {
        shownUtc = utcText(model->utcNow());
        dialog.setText(MainId::UniversalTime, shownUtc);
    }
    dialog.setText(MainId::TimeNote, model->utcCorrection() != 0 ? "corrected" : "");
    char lst[64];
    formatSiderealTime(model->localSiderealTime(), lst);
    dialog.setText(MainId::SiderealTime, lst);
}

void DlgMain::timeSet(int)
{
    iControlSurface& dialog = surface();
    char text[64];
    dialog.getText(MainId::UniversalTime, text, sizeof text);
    UtcTime typed;
    if (!readUtcText(text, typed)) {
        showMessage("UT not set: use YYYY-MM-DD hh:mm:ss");
        return;
    }
    const std::int64_t computer = secondsOf(model->utcNow()) - model->utcCorrection();
    model->setUtcCorrection(secondsOf(typed) - computer);
    showMessage("");
    shownUtc.clear();
    dialog.setText(MainId::UniversalTime, "");
    showTime();
}

void DlgMain::showSite()
{
    iControlSurface& dialog = surface();
    dialog.setText(MainId::Latitude, degreesText(site.latitude));
    dialog.setText(MainId::Longitude, degreesText(model->siteLongitude()));
    dialog.setText(MainId::SiteNote, site.siteSet ? "" : "(default)");
}

void DlgMain::placeGet(int)
{
    if (settingsStore)
        setSettingsStore(settingsStore);
    else
        showSite();
    if (siteProblem.empty())
        showMessage("");
}

void DlgMain::placeSet(int)
{
    iControlSurface& dialog = surface();
    struct Field {
        int id;
        double limit;
        const char* notDegrees;
        const char* outOfRange;
        double value;
    };
    Field fields[] = {
        {MainId::Latitude, 90, "Site not set: Latitude not degrees", "Site not set: Latitude out of range", 0},
        {MainId::Longitude, 180, "Site not set: Longitude not degrees", "Site not set: Longitude out of range", 0},
    };
    for (Field& f : fields) {
        char text[64];
        dialog.getText(f.id, text, sizeof text);
        if (!readDegreesText(text, f.value)) {
            showMessage(f.notDegrees);
            return;
        }
        if (std::fabs(f.value) > f.limit) {
            showMessage(f.outOfRange);
            return;
        }
    }
    site.siteSet = true;
    site.latitude = fields[0].value;
    site.longitude = fields[1].value;
    model->setSiteLongitude(site.longitude);
    showSite();
    std::string error;
    if (settingsStore && !settingsStore->save(formatUserSettings(site), error)) {
        showMessage(("Site in use, not saved: " + error).c_str());
        return;
    }
    showMessage("");
}

void DlgMain::onListOpening(iControlSurface& dialog, int id)
{
    if (id != MainId::PortList || !portSource || !window.load(std::memory_order_relaxed))
        return;
    fillPortList(dialog);
}

void DlgMain::fillPortList(iControlSurface& dialog)
{
    const int index = dialog.selectedListEntry(MainId::PortList);
    const bool hadSelection = index >= 0 && static_cast<std::size_t>(index) < ports.entries.size();
    const std::uint32_t selectedNumber = hadSelection ? ports.entries[static_cast<std::size_t>(index)].number : 0;
    ports = portSource();
    dialog.clearList(MainId::PortList);
    std::size_t select = ports.preselected;
    for (std::size_t i = 0; i < ports.entries.size(); ++i) {
        dialog.addListEntry(MainId::PortList, ports.entries[i].label);
        // The operator's choice stays while its port is still there.
        if (hadSelection && ports.entries[i].number == selectedNumber)
            select = i;
    }
    dialog.selectListEntry(MainId::PortList, static_cast<int>(select));
}

}  // namespace kv7
