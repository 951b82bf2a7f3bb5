// A CommControl without threads, with the fuzz target playing both the
// worker (pump) and the serial reader (pollSerial), and the invariants that
// must hold after every step whatever the input was.
#pragma once

#include "app/AppModel.h"
#include "fuzz/FuzzSupport.h"
#include "link/CommControl.h"

namespace kv7::fuzz {

inline CommControl::Options unthreaded()
{
    CommControl::Options o;
    o.settleMs = 0;
    o.startThreads = false;
    return o;
}

struct LinkDriver {
    LinkDriver() : catalog(&port), model(&clock), link(&listener, &model, &catalog, unthreaded()) {}

    // Runs the worker until the channel is empty and the port has nothing
    // more to hand out. Bounded: a link that kept producing work forever
    // would be a fault of its own.
    void settle()
    {
        for (int round = 0; round < 1000; ++round) {
            link.pump();
            checkInvariants();
            if (link.pollSerial() == 0 && link.pump() == 0)
                return;
        }
        fail("the link never settles");
    }

    void tick()
    {
        link.onHeartBeat();
        settle();
    }

    void checkInvariants() const
    {
        check(!link.isLinkReady() || link.isPortOpen(), "link ready on a closed port");
        check(link.isPortOpen() == port.isOpen(), "the link and the port disagree about whether it is open");
        check(knownLinkState(link.currentLinkState()), "unknown link state");
        const std::int32_t pier = link.currentPierState();
        check(pier >= PierState::flippingToWest && pier <= PierState::pierEast, "unknown pier state");
        check(!listener.mustBeClosed || !link.isPortOpen(), "a failed connect left the port open");
        check(!listener.mustBeReady || link.isLinkReady(), "connection established but the link is not ready");
    }

    // Once the framer has finished whatever frame it was in, a whole reply
    // to a fresh request must give exactly the reading the controller sent.
    // feedSerial puts bytes on the line as the controller would.
    template <class FeedSerial>
    void probeReading(FeedSerial&& feedSerial)
    {
        if (!link.isLinkReady())
            return;
        // 300 non-start bytes end any partial frame (at most 255 payload
        // bytes are still owed) and are skipped outside a frame.
        std::uint8_t zeros[300] = {};
        feedSerial(zeros, sizeof zeros);
        settle();
        // A reading asked for while another reply is awaited waits its turn;
        // let every wait end (by its reply or its time-out) first. A mount
        // that keeps moving keeps its cycle going, and a reading goes at once
        // in the pause between two polls.
        const auto lineFree = [this] {
            const std::int32_t s = link.currentLinkState();
            return s == LinkState::Idle || s == LinkState::Pause;
        };
        for (int i = 0; i < 400 && link.isLinkReady() && !lineFree(); ++i)
            tick();
        if (!link.isLinkReady())
            return;
        check(lineFree(), "the line never comes free for a reading");
        const std::size_t before = listener.readings;
        link.readEncoders(0);
        settle();
        std::uint8_t frame[11] = {replyStartByte, 9, static_cast<std::uint8_t>(DeviceCommand::ReadEncoders)};
        writeU32le(frame + 3, probeRa);
        writeU32le(frame + 7, probeDec);
        if (listener.readings == before) {   // a fed port: the reply comes from here
            feedSerial(frame, sizeof frame);
            settle();
        }
        check(listener.readings == before + 1, "no reading from a whole reply after resynchronising");
        check(listener.last.raEncoderPosition == probeRa && listener.last.decEncoderPosition == probeDec,
              "a whole reply read wrongly after resynchronising");
    }

    FuzzPort port;
    FuzzCatalog catalog;
    FixedClock clock;
    CheckingListener listener;
    AppModel model;
    CommControl link;
};

}  // namespace kv7::fuzz
