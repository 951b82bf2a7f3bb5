#include "FakeDialogs.h"

#include <algorithm>
#include <cstring>

namespace kv7::test {

namespace {

std::string join(std::initializer_list<long long> values, const char* name)
{
    std::string s = name;
    for (long long v : values)
        s += " " + std::to_string(v);
    return s;
}

}  // namespace

FakeSurface::FakeSurface(const DialogLayout& dialogLayout) : layout(dialogLayout)
{
    for (const ControlEntry& entry : layout.controls) {
        if (entry.id == -1 || controls.count(entry.id))
            continue;
        Control& c = controls[entry.id];
        c.entry = &entry;
        c.text = entry.caption;
    }
}

const FakeSurface::Control& FakeSurface::at(int id) const
{
    static const Control missing;
    const auto it = controls.find(id);
    if (it == controls.end()) {
        ADD_FAILURE() << "dialog \"" << layout.caption << "\" has no control " << id;
        return missing;
    }
    return it->second;
}

FakeSurface::Control& FakeSurface::at(int id)
{
    return const_cast<Control&>(static_cast<const FakeSurface&>(*this).at(id));
}

void FakeSurface::setText(int id, std::string_view text) { at(id).text = std::string(text); }

std::size_t FakeSurface::getText(int id, char* buffer, std::size_t capacity) const
{
    const std::string& text = at(id).text;
    const std::size_t n = std::min(text.size(), capacity - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return n;
}

void FakeSurface::setCheck(int id, bool checked) { at(id).checked = checked; }
bool FakeSurface::isChecked(int id) const { return at(id).checked; }
void FakeSurface::enable(int id, bool enabled) { at(id).enabled = enabled; }

void FakeSurface::setSliderRange(int id, int minimum, int maximum)
{
    at(id).sliderMin = minimum;
    at(id).sliderMax = maximum;
}

void FakeSurface::setSliderPosition(int id, int position)
{
    Control& c = at(id);
    c.slider = std::clamp(position, c.sliderMin, c.sliderMax);
}

int FakeSurface::sliderPosition(int id) const { return at(id).slider; }
void FakeSurface::addListEntry(int id, std::string_view text) { at(id).list.emplace_back(text); }

void FakeSurface::selectListEntry(int id, int index)
{
    Control& c = at(id);
    c.selected = index >= 0 && static_cast<std::size_t>(index) < c.list.size() ? index : -1;
}

int FakeSurface::selectedListEntry(int id) const { return at(id).selected; }
void FakeSurface::setImage(int id, ArrowImage image) { at(id).image = image; }

void FakeSurface::endDialog(int value)
{
    ended = true;
    result = value;
}

void FakeSurface::postUserMessage(std::uint32_t code, std::uint32_t value) { posted.emplace_back(code, value); }

void FakeSurface::clearList(int id)
{
    at(id).list.clear();
    at(id).selected = -1;
}

void FakeSurface::setPlot(int id, std::span<const PlotSeries> series, std::string_view unit)
{
    const ControlEntry* entry = at(id).entry;
    EXPECT_TRUE(entry && entry->kind == ControlKind::Plot) << "setPlot on control " << id;
    PlotShown& shown = plots[id];
    shown.values.clear();
    shown.marks.clear();
    for (const PlotSeries& s : series) {
        shown.values.emplace_back(s.values.begin(), s.values.end());
        shown.marks.emplace_back(s.marked.begin(), s.marked.end());
    }
    shown.unit = unit;
    ++shown.draws;
}

bool FakeSurface::click(iDialogHandler& handler, int id)
{
    Control& c = at(id);
    if (!c.entry || !c.enabled)
        return false;
    if (c.entry->kind == ControlKind::CheckBox && !(c.entry->flags & ControlFlag::ManualCheck))
        c.checked = !c.checked;
    return handler.onCommand(*this, id);
}

int FakeHost::runModal(iDialogHandler& handler)
{
    captions.emplace_back(handler.layout().caption);
    FakeSurface surface(handler.layout());
    handler.onInit(surface);
    if (scripts.empty()) {
        ADD_FAILURE() << "unexpected dialog \"" << handler.layout().caption << "\"";
        return -1;
    }
    Script script = std::move(scripts.front());
    scripts.pop_front();
    script(surface, handler);
    EXPECT_TRUE(surface.ended) << "dialog \"" << handler.layout().caption << "\" never ended";
    return surface.result;
}

void RecordingControl::connect(std::uint32_t port, std::uint32_t baud) { calls.push_back(join({port, baud}, "connect")); }
void RecordingControl::disconnect() { calls.push_back("disconnect"); }
void RecordingControl::storeParameters() { calls.push_back("storeParameters"); }

void RecordingControl::manualMove(std::uint8_t direction, std::uint8_t speed)
{
    calls.push_back(join({direction, speed}, "manualMove"));
}

void RecordingControl::stopMotion(std::uint8_t axes) { calls.push_back(join({axes}, "stopMotion")); }
void RecordingControl::setTracking(std::uint8_t on) { calls.push_back(join({on}, "setTracking")); }
void RecordingControl::pierSideAction(std::uint8_t action) { calls.push_back(join({action}, "pierSideAction")); }

void RecordingControl::gotoTarget(std::uint32_t ra, std::int32_t dec) { calls.push_back(join({ra, dec}, "gotoTarget")); }

void RecordingControl::answerMeridianFlip(std::uint16_t answer)
{
    calls.push_back(join({answer}, "answerMeridianFlip"));
}

void RecordingControl::setMotorReversal(std::uint8_t bits, std::uint8_t extra)
{
    calls.push_back(join({bits, extra}, "setMotorReversal"));
}

void RecordingControl::setEncoderFormat(std::uint8_t raFlags, std::uint8_t raLeadingBits,
                                        std::uint8_t raBitsPerRevolution, std::uint8_t raBitsForRevolutions,
                                        std::uint8_t decFlags, std::uint8_t decLeadingBits,
                                        std::uint8_t decBitsPerRevolution, std::uint8_t decBitsForRevolutions)
{
    calls.push_back(join({raFlags, raLeadingBits, raBitsPerRevolution, raBitsForRevolutions, decFlags, decLeadingBits,
                          decBitsPerRevolution, decBitsForRevolutions},
                         "setEncoderFormat"));
}

void RecordingControl::setEncoderCalibration(std::uint8_t reverseBits, std::uint32_t raOffset, std::uint32_t decOffset)
{
    calls.push_back(join({reverseBits, raOffset, decOffset}, "setEncoderCalibration"));
}

void RecordingControl::readEncoders(std::uint8_t mode) { calls.push_back(join({mode}, "readEncoders")); }

void RecordingControl::syncToTarget(std::uint32_t ra, std::int32_t dec)
{
    calls.push_back(join({ra, dec}, "syncToTarget"));
}

void RecordingControl::syncToEncoders() { calls.push_back("syncToEncoders"); }

bool MemorySettingsStore::load(std::string& out, std::string&)
{
    out = text;
    return true;
}

bool MemorySettingsStore::save(const std::string& in, std::string& error)
{
    ++saves;
    if (!saveError.empty()) {
        error = saveError;
        return false;
    }
    text = in;
    return true;
}

}  // namespace kv7::test
