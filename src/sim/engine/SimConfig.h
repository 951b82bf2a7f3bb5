// How a virtual controller is set up: its factory parameters, its state
// file, the physical encoders fitted to the mount and the faults it shows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sim/engine/Encoder.h"
#include "sim/engine/Settings.h"
#include "sim/engine/StateStore.h"

namespace kv7::sim {

struct FaultConfig {
    bool silent = false;             // takes commands, never answers
    bool wrongIdentify = false;      // answers Identify as another kind of device
    bool noise = false;              // a few stray bytes before every reply
    double dropProbability = 0.0;    // each byte on the line, either way, is lost with this probability
    double replyDelay = 0.0;         // seconds of simulated time before a reply goes out
    long long vanishAfterFrames = -1;  // answers this many frames, then is gone; < 0: never
    long long quietAfterFrames = -1;   // answers this many frames, then takes commands silently; < 0: never
    int shortReplyCode = -1;           // replies to this command carry only the echoed code; < 0: none
    std::uint32_t seed = 1;          // for noise and dropped bytes, so runs repeat

    bool any() const
    {
        return silent || wrongIdentify || noise || dropProbability > 0.0 || replyDelay > 0.0 || vanishAfterFrames >= 0 ||
               quietAfterFrames >= 0 || shortReplyCode >= 0;
    }
};

struct SimConfig {
    ControllerSettings factory = factorySettings();   // used where the state file says nothing
    // Where StoreParameters keeps the parameters across restarts (e.g. a
    // FileStateStore from sim/hosts); null: nothing survives a restart.
    // Copies of a configuration share the store.
    std::shared_ptr<StateStore> stateStore;
    EncoderPhysics raEncoder;
    EncoderPhysics decEncoder;
    FaultConfig faults;
};

// "silent", "wrong-identify", "noise", "drop=P" (0 <= P <= 1), "slow=MS"
// (milliseconds of simulated time), "vanish=N" (frames), "quiet-after=N"
// (frames), "short=CODE" (a device command code). False with a reason in
// error for anything else.
bool applyFaultOption(std::string_view text, FaultConfig& faults, std::string& error);

// A physical encoder format, e.g. "gray,inverted,leading=10,revolutions=4,bits=24"
// or "binary"; items not named keep their value. An "ra:" or "dec:" prefix
// applies it to one axis only, otherwise to both.
bool applyEncoderFormatText(std::string_view text, EncoderPhysics& ra, EncoderPhysics& dec, std::string& error);

// How the encoders are fitted to the mount, e.g. "scale-ppm=-150,backlash=30,noise=2"
// or "dec:reversed": scale-ppm=P (-100000..100000), backlash=ARCSEC (0..3600),
// reversed, forward, noise=COUNTS (0..1000), bit-errors=P (0..1); items not
// named keep their value. An "ra:" or "dec:" prefix applies it to one axis only.
bool applyEncoderFitText(std::string_view text, EncoderPhysics& ra, EncoderPhysics& dec, std::string& error);

}  // namespace kv7::sim
