// A link without threads: the test plays worker and serial reader, so every
// sequence runs step by step and deterministically.
#pragma once

#include <cmath>

#include "app/AppModel.h"
#include "link/CommControl.h"
#include "link/LinkTypes.h"
#include "support/TestSupport.h"

namespace kv7::test {

// A fixed instant whose sidereal time is easy to reason about.
inline UtcTime fixedInstant() { return UtcTime{2024, 3, 20, 22, 0, 0}; }

// The site longitude that makes the local sidereal time at `when` exactly
// `lst` hours in double arithmetic, so hour offsets such as exactly 2 can be
// set up from whole-second RA values.
double longitudeForExactLst(const UtcTime& when, double lst);

struct LinkHarness {
    explicit LinkHarness(double longitude = AppModel::defaultSiteLongitude)
        : model(&clock, longitude), link(&listener, &model, &catalog, CommControl::Options{0, false})
    {
        catalog.add(1, &controller, "fake-controller");
    }

    // Moves bytes between the fake controller, the channel and the worker
    // until nothing moves any more.
    void settle()
    {
        for (int i = 0; i < 1000; ++i) {
            if (link.pollSerial() + link.pump() == 0)
                return;
        }
    }
    void tick(int n = 1)
    {
        for (int i = 0; i < n; ++i) {
            link.onHeartBeat();
            settle();
        }
    }
    // A full connect against a sane scripted controller.
    void connect(std::uint32_t raMicrosteps = 2000000, std::uint32_t decMicrosteps = 1000000)
    {
        controller.scriptConnect(raMicrosteps, decMicrosteps);
        link.connect(1, 9600);
        settle();
        tick(2);
        controller.clearFrames();
        listener.clear();
    }

    FixedClock clock{fixedInstant()};
    RecordingListener listener;
    FakeController controller;
    TestCatalog catalog;
    AppModel model;
    CommControl link;
};

}  // namespace kv7::test
