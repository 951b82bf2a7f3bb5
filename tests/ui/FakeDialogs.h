// Headless stand-ins for a renderer and for the controller link: a surface
// that keeps each control's state in memory and fails the test when a
// handler touches an id its layout lacks, a host whose modal runs are played
// by scripts, and a link that records every request.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/Interfaces.h"
#include "app/UserSettings.h"
#include "ui/DialogModel.h"

namespace kv7::test {

class FakeSurface final : public iControlSurface {
public:
    struct Control {
        const ControlEntry* entry = nullptr;
        std::string text;
        bool checked = false;
        bool enabled = true;
        int sliderMin = 0;
        int sliderMax = 100;
        int slider = 0;
        std::vector<std::string> list;
        int selected = -1;
        std::optional<ArrowImage> image;
    };

    explicit FakeSurface(const DialogLayout& layout);

    void setText(int id, std::string_view text) override;
    std::size_t getText(int id, char* buffer, std::size_t capacity) const override;
    void setCheck(int id, bool checked) override;
    bool isChecked(int id) const override;
    void enable(int id, bool enabled) override;
    void setSliderRange(int id, int minimum, int maximum) override;
    void setSliderPosition(int id, int position) override;
    int sliderPosition(int id) const override;
    void addListEntry(int id, std::string_view text) override;
    void selectListEntry(int id, int index) override;
    int selectedListEntry(int id) const override;
    void setImage(int id, ArrowImage image) override;
    void endDialog(int result) override;
    void postUserMessage(std::uint32_t code, std::uint32_t value) override;
    void setTimer(int periodMs) override { timerMs = periodMs; }
    void clearList(int id) override;
    void setPlot(int id, std::span<const PlotSeries> series, std::string_view unit) override;

    // The test's side.
    const Control& at(int id) const;
    Control& at(int id);
    std::string text(int id) const { return at(id).text; }
    void type(int id, const std::string& text) { at(id).text = text; }
    // As a user would: disabled controls do nothing, an automatic check box
    // toggles before the handler hears of it. Returns the handler's answer.
    bool click(iDialogHandler& handler, int id);

    bool ended = false;
    int result = -1;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> posted;
    int timerMs = 0;   // the period last asked for; 0: no timer
    struct PlotShown {
        std::vector<std::vector<double>> values;
        std::vector<std::vector<std::uint8_t>> marks;
        std::string unit;
        int draws = 0;
    };
    std::map<int, PlotShown> plots;

private:
    const DialogLayout& layout;
    std::map<int, Control> controls;
};

class FakeHost final : public iDialogHost {
public:
    using Script = std::function<void(FakeSurface&, iDialogHandler&)>;

    // The next modal run is played by script; a run without one fails the test.
    void expect(Script script) { scripts.push_back(std::move(script)); }

    int runModal(iDialogHandler& handler) override;
    void openWebAddress(const char* address) override { opened.emplace_back(address); }
    // The operator picks the next of files; none left: Cancel.
    bool chooseFile(bool, const char*, std::string& path) override
    {
        if (files.empty())
            return false;
        path = files.front();
        files.pop_front();
        return true;
    }

    std::vector<std::string> captions;   // of every dialog run, in order
    std::vector<std::string> opened;
    std::deque<std::string> files;

private:
    std::deque<Script> scripts;
};

// Every request as text, e.g. "connect 1 9600".
class RecordingControl final : public iKV7Control {
public:
    void onHeartBeat() override {}
    void connect(std::uint32_t port, std::uint32_t baud) override;
    void disconnect() override;
    void storeParameters() override;
    void manualMove(std::uint8_t direction, std::uint8_t speed) override;
    void stopMotion(std::uint8_t axes) override;
    void setTracking(std::uint8_t on) override;
    void pierSideAction(std::uint8_t action) override;
    void gotoTarget(std::uint32_t raArcsec, std::int32_t decArcsec) override;
    void answerMeridianFlip(std::uint16_t answer) override;
    void setMotorReversal(std::uint8_t bits, std::uint8_t extra) override;
    void setEncoderFormat(std::uint8_t raFlags, std::uint8_t raLeadingBits, std::uint8_t raBitsPerRevolution,
                          std::uint8_t raBitsForRevolutions, std::uint8_t decFlags, std::uint8_t decLeadingBits,
                          std::uint8_t decBitsPerRevolution, std::uint8_t decBitsForRevolutions) override;
    void setEncoderCalibration(std::uint8_t reverseBits, std::uint32_t raOffset, std::uint32_t decOffset) override;
    void readEncoders(std::uint8_t mode) override;
    void syncToTarget(std::uint32_t raArcsec, std::int32_t decArcsec) override;
    void syncToEncoders() override;

    std::vector<std::string> calls;
};

// Settings text in memory; a save can be made to fail.
class MemorySettingsStore final : public iSettingsStore {
public:
    bool load(std::string& out, std::string& error) override;
    bool save(const std::string& in, std::string& error) override;

    std::string text;
    int saves = 0;
    std::string saveError;   // non-empty: saves fail with it
};

}  // namespace kv7::test
