#include "ui/PortChoices.h"

namespace kv7 {

PortChoices comPortChoices(const std::vector<PortEntry>& entries)
{
    PortChoices choices;
    bool presentFound = false;
    std::size_t simulator = 0;
    for (const PortEntry& e : entries) {
        const bool present = e.number != 0 && !e.description.empty();
        if (present && !presentFound) {
            choices.preselected = choices.entries.size();
            presentFound = true;
        }
        if (e.number == 0)
            simulator = choices.entries.size();
        choices.entries.push_back({e.number, present ? e.name + " - " + e.description : e.name});
    }
    if (!presentFound)
        choices.preselected = simulator;
    return choices;
}

PortChoices catalogPortChoices(const std::vector<PortEntry>& entries)
{
    PortChoices choices;
    bool adapterFound = false;
    for (const PortEntry& e : entries) {
        if (e.number == 0)
            continue;
        std::string label = e.name.empty() ? e.device : e.name;
        if (!e.description.empty())
            label += " (" + e.description + ")";
        if (e.adapter && !adapterFound) {
            choices.preselected = choices.entries.size();
            adapterFound = true;
        }
        choices.entries.push_back({e.number, std::move(label)});
    }
    if (!adapterFound)
        choices.preselected = choices.entries.size();
    choices.entries.push_back({0, "Simulator"});
    return choices;
}

}  // namespace kv7
