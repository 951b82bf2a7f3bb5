#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/.

Each seed is a short, meaningful input: real channel messages, real device
frames, a real connect sequence. Run it again after changing a seed; the
files it writes are the ones committed.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def u32(v):
    return struct.pack("<I", v & 0xFFFFFFFF)


def h(text):
    return bytes.fromhex(text)


# --- channel messages --------------------------------------------------------

def connect(port, baud):
    return bytes([0x86, 0x02, port]) + u32(baud)


TICK = h("A0 00")
DISCONNECT = h("81 03")
STORE = h("81 04")


def cmd(code, *args):
    payload = bytes([code]) + b"".join(args)
    return bytes([0x80 | len(payload)]) + payload


def b(*values):
    return bytes(values)


READY = connect(1, 9600) + TICK * 2   # the scripted controller answers at once

channel = {
    "connect-read-disconnect": b(0x00) + READY + cmd(11, b(0)) + DISCONNECT,
    "every-command": b(0x00) + READY + STORE + cmd(5, b(0, 10)) + cmd(6, b(4)) + cmd(7, b(1))
    + cmd(8, b(1, 0x10)) + cmd(9, b(1)) + cmd(9, b(3)) + cmd(10, b(0, 12, 25, 0, 0, 12, 25, 0))
    + cmd(11, b(1)) + cmd(11, b(2)) + cmd(13, u32(45000), u32(-3600)) + cmd(14, b(3), u32(1000), u32(2000))
    + cmd(15, u32(10 * 54000), u32(45 * 3600)) + cmd(16, b(2, 0)) + TICK * 20 + cmd(9, b(2)) + TICK * 20
    + DISCONNECT,
    "not-connected-and-malformed": b(0x07) + DISCONNECT + cmd(11, b(0)) + TICK + h("12 34") + cmd(5, b(0, 10))
    + h("C3 01 02 03") + h("81 01") + h("81 11") + h("80 00") + h("A0") + cmd(11, b(0)),
    "connect-failures": b(0x00) + connect(2, 9600) + connect(9, 9600) + connect(0, 115200) + TICK * 2
    + connect(0, 115200) + h("82 02 01") + DISCONNECT + DISCONNECT,
    # A target read as a signed RA of about -30000 hours once made the axis
    # position conversion leave the 32-bit range (undefined in C++).
    "regression-goto-far-off-the-sky": b(0x00) + READY + cmd(15, u32(0xA0003D60), u32(0)) + TICK,
    "serial-data-in-the-channel": b(0x00) + READY + cmd(11, b(0)) + bytes([0xE0 | 11]) + h("55 09 7A 00 00 00 01 FF FF FF 01")
    + bytes([0xE0 | 3]) + h("01 AA 55") + TICK,
}

# --- controller replies, after the link has been driven to a state ----------

SCENARIOS = {name: i for i, name in enumerate([
    "identify", "pause", "device-byte", "device-word", "axis-parameters", "motor-settings",
    "encoder-format", "encoder-calibration", "ready", "encoders-mode0", "encoders-mode1",
    "goto-sent", "between-polls", "poll-first-pass", "poll-second-pass", "flip-positions",
    "flip-goto-sent", "calibration-written", "store-sent"])}


def reply(code, payload=b""):
    return bytes([0x55, len(payload) + 1, code]) + payload


def axis_block(axis_byte, gear, steps, base):
    return bytes([axis_byte]) + u32(gear) + u32(steps) + u32(base)


AXIS = reply(0x14, b(0xC0) + axis_block(1, 144, 1843200, 1000) + axis_block(2, 120, 1536000, 900))
MOTOR = reply(0x15, b(0xC0, 0x00, 0x10) + (struct.pack("<H", 16) + bytes(range(25)))
              + (struct.pack("<H", 15) + bytes(range(25, 50))))
FORMAT = reply(0x17, b(0, 12, 25, 0, 0, 12, 25, 0))
CALIBRATION = reply(0x7B, b(1) + u32(1000) + u32(2000))
ENCODERS = reply(0x7A, u32(16777216) + u32(33554431))
NOISE = h("01 AA 13 37")


def replies_seed(scenario, piece, tick_every, stream):
    return bytes([SCENARIOS[scenario], piece - 1, tick_every]) + stream


replies = {
    "identify-ok": replies_seed("identify", 64, 0, reply(1, u32(0x00070203))),
    "identify-other-device": replies_seed("identify", 64, 0, reply(2, u32(0x00070203))),
    # Frames behind the decisive reply in the same read once undid its
    # outcome: the port stayed open after "not supported", the link never
    # became ready after "connection established".
    "regression-identify-other-device-then-more": replies_seed("identify", 64, 0, reply(2, u32(7)) + h("55 00 55 00")),
    "regression-calibration-then-stray-frame": replies_seed("encoder-calibration", 64, 0, CALIBRATION + h("55 00")),
    "identify-short": replies_seed("identify", 64, 0, h("55 04 01 00 00 00")),
    "whole-connect-split": replies_seed("identify", 3, 1, reply(1, u32(7)) + reply(3, b(0x21))
                                        + reply(2, u32(0x12345678)) + AXIS + MOTOR + FORMAT + CALIBRATION),
    "pause-stray-frame": replies_seed("pause", 64, 1, NOISE + reply(0x25)),
    "device-byte-empty": replies_seed("device-byte", 64, 0, h("55 00")),
    "device-byte-one": replies_seed("device-byte", 1, 0, h("55 01 03")),
    "device-word": replies_seed("device-word", 64, 0, reply(2, u32(0x0001E078))),
    "axis-parameters": replies_seed("axis-parameters", 31, 0, AXIS),
    "motor-settings": replies_seed("motor-settings", 31, 2, MOTOR),
    "motor-settings-short": replies_seed("motor-settings", 64, 0, reply(0x15, b(0xC0, 3))),
    "encoder-format": replies_seed("encoder-format", 64, 0, FORMAT),
    "encoder-format-64-bits": replies_seed("encoder-format", 64, 0, reply(0x17, b(0, 0, 64, 0, 0, 0, 200, 0))),
    "encoder-calibration": replies_seed("encoder-calibration", 64, 0, CALIBRATION),
    "ready-unasked-reply": replies_seed("ready", 64, 0, reply(0x25) + ENCODERS),
    "encoders-whole": replies_seed("encoders-mode0", 64, 0, ENCODERS),
    "encoders-byte-by-byte": replies_seed("encoders-mode0", 1, 3, ENCODERS),
    "encoders-after-noise": replies_seed("encoders-mode0", 64, 0, NOISE + ENCODERS),
    "encoders-two-in-one": replies_seed("encoders-mode0", 64, 0, ENCODERS + ENCODERS),
    "encoders-lost-byte": replies_seed("encoders-mode0", 64, 0, ENCODERS[:5] + ENCODERS[6:] + ENCODERS),
    "encoders-mode1": replies_seed("encoders-mode1", 64, 0, ENCODERS),
    "goto-ack": replies_seed("goto-sent", 64, 1, reply(0x25)),
    "between-polls": replies_seed("between-polls", 64, 1, reply(0x1E, b(0xC0, 4, 4))),
    "poll-moving-then-rest": replies_seed("poll-first-pass", 64, 1,
                                          reply(0x1E, b(0xC0, 4, 4)) + reply(0x1E, b(0xC0, 1, 1))),
    "poll-second-pass-rest": replies_seed("poll-second-pass", 64, 0, reply(0x1E, b(0xC0, 2, 1))),
    "flip-positions": replies_seed("flip-positions", 64, 0, reply(0x1F, b(0xC0, 1, 1) + u32(100000) + u32(50000))),
    "flip-goto-ack": replies_seed("flip-goto-sent", 64, 1, reply(0x25)),
    "calibration-ack": replies_seed("calibration-written", 64, 0, reply(0x7C)),
    "store-ack": replies_seed("store-sent", 64, 0, reply(0x0D)),
}

# --- typed text and writer arguments ------------------------------------------

text = {name: value.encode() for name, value in {
    "ra-plain": "05:30:00",
    "ra-short-fields": "5:3:7",
    "ra-extra-digits": "123:45",
    "ra-seconds-cut": "12:30:456",
    "ra-letters": " 12h 30m",
    "ra-minutes-only": ":30",
    "ra-last": "23:59:59",
    "dec-south": "-05:30:00",
    "dec-north": "+45:00:30",
    "dec-minus-zero": "-0:30",
    "dec-three-digits": "120:00:00",
    "dec-wraps": "300",
    "dec-four-digits": "1234:5",
    "dec-pole": "-89:59:59",
    "signs-late": "5-:+3:-7",
}.items()}
text["int32-min"] = u32(0x80000000) + u32(0xFFFFFFFF) + b":+" + b"\x00"
text["dms-limit"] = u32(4500000) + u32(1000) + b"::" + b"\x04"
text["hex-name"] = u32(6700) + u32(305419896) + b"\x00\x00\x00"

# --- controller input ----------------------------------------------------------


def frames(*fs):
    out = b""
    for f in fs:
        assert 1 <= len(f) <= 32
        out += bytes([len(f) - 1]) + f
    return out


def sim_config(faults=0, p=0, delay=0, enc_a=0x30, enc_b=0x18, seed=1):
    return bytes([faults, p, delay, enc_a, enc_b, seed])


def frame(code, *args):
    payload = bytes([code]) + b"".join(args)
    return bytes([0xAA, len(payload)]) + payload


CONNECT_FRAMES = [frame(1), frame(3), frame(2), frame(0x14), frame(0x15), frame(0x17), frame(0x7B)]
READS = [frame(0x7A, b(1)), frame(0x7D, b(1)), frame(0x7E, b(1))]
ADVANCE_2S = b(0xF0)
ADVANCE_SHORT = b(0xE0)

sim = {
    "connect-and-read": sim_config() + frames(*CONNECT_FRAMES, *READS),
    "goto-and-poll": sim_config() + frames(frame(0x25, b(1, 0xC0), u32(100000), u32(-50000)))
    + ADVANCE_2S * 4 + frames(frame(0x1E, b(1)), frame(0x1F, b(1, 0xC0))) + b(0xFF) * 3
    + frames(frame(0x1E, b(1)), frame(0x7A, b(1))),
    "hand-pad-and-tracking": sim_config() + frames(frame(0x24, b(0, 1)), frame(0x23, b(0, 0x80), u32(16000)))
    + ADVANCE_2S + frames(frame(0x21, b(0, 0xC0))) + ADVANCE_SHORT * 3 + frames(frame(0x23, b(0, 0x40), u32(-900)))
    + ADVANCE_2S + frames(frame(0x20, b(1, 0xC0), u32(-1000), u32(2000)), frame(0x7A, b(1))),
    "write-settings": sim_config() + frames(frame(0x18, b(1, 2, 10, 24, 0, 2, 10, 24, 0)),
                                            frame(0x7C, b(1, 3), u32(1000), u32(2000)),
                                            frame(0x32, b(0, 0xC0, 3, 0x20)), frame(0x0D, b(1)),
                                            frame(0x7A, b(1)), frame(0x7E, b(1)), frame(0x15)),
    "odd-formats": sim_config(enc_a=0x7F, enc_b=0xFF) + frames(frame(0x18, b(1, 3, 200, 255, 64, 0, 0, 0, 33)),
                                                               frame(0x7A, b(1)), frame(0x7D, b(1)), frame(0x7E, b(1))),
    "short-and-stray-frames": sim_config() + frames(h("AA 01 25"), h("AA 00"), h("13 37 AA 02 7A"), h("01 AA 01 01"),
                                                    h("AA FF 01"), frame(0x7A, b(1))),
    "noise": sim_config(faults=0x04) + frames(*CONNECT_FRAMES),
    "dropped-bytes": sim_config(faults=0x08, p=40, seed=7) + frames(*CONNECT_FRAMES, *READS),
    "slow": sim_config(faults=0x10, delay=30) + frames(frame(1), frame(0x7A, b(1))) + ADVANCE_SHORT * 8,
    "vanish": sim_config(faults=0x20, p=3) + frames(*CONNECT_FRAMES),
    "silent": sim_config(faults=0x01) + frames(*CONNECT_FRAMES) + ADVANCE_2S,
    "wrong-identify": sim_config(faults=0x02) + frames(frame(1), frame(2)),
}


# --- configuration snapshots ----------------------------------------------------

SNAPSHOT = """{
  "format": "kv7-configuration",
  "version": 1,
  "savedUtc": "2026-12-07T20:29:42Z",
  "port": "sim",
  "program": "kv7ctl 0.1.0",
  "identity": {"startCode": 7, "deviceId": 459267, "deviceWord": 123000, "deviceByte": 7,
    "raAxisByte": 1, "decAxisByte": 2},
  "axes": {"raGearRatio": 144, "raMicrosteps": 1843200, "raBaseSpeed": 1000, "decGearRatio": 120,
    "decMicrosteps": 1536000, "decBaseSpeed": 900, "raSpeedFactor": 16, "decSpeedFactor": 15,
    "raMaxSpeed": 16000, "decMaxSpeed": 13500},
  "encoderFormat": {"raFlags": 0, "decFlags": 0, "raLeadingBits": 12, "raBitsPerRevolution": 25,
    "raBitsForRevolutions": 0, "decLeadingBits": 12, "decBitsPerRevolution": 25, "decBitsForRevolutions": 0},
  "encoderCalibration": {"reverseEncoderBits": 0, "raEncoderOffset": 0, "decEncoderOffset": 0},
  "motor": {"reverseMotorBits": 0, "motorExtraByte": 16, "motorSettingA": [1200,1000],
    "motorSettingsB": [400,800,1600,300,700,1400], "motorSettingsC": [3,5,7,3,5,7],
    "motorSettingsD": [2,4,2,4], "motorSettingsE": [1,0,1,0], "motorSettingsF": [500,250,500,250],
    "motorSettingG": [6,6], "motorSettingH": [64,48], "motorSettingI": [100000,90000]}
}
"""

config = {
    "saved-from-the-simulator": SNAPSHOT.encode(),
    "escapes-in-the-port": SNAPSHOT.replace('"sim"', '"C:\\\\dev\\u0009\\"x\\""').encode(),
    "a-newer-version": SNAPSHOT.replace('"version": 1', '"version": 2').encode(),
    "a-wide-encoder-word": SNAPSHOT.replace('"raBitsForRevolutions": 0', '"raBitsForRevolutions": 8').encode(),
}

# Transcripts: the recorded exchanges of tests/exchanges, and one with stray
# bytes and frames split over chunks.
EXCHANGES = os.path.join(HERE, "..", "tests", "exchanges")
transcript = {
    name[: -len(".kv7t")]: open(os.path.join(EXCHANGES, name), "rb").read()
    for name in sorted(os.listdir(EXCHANGES))
    if name.endswith(".kv7t") and name != "full-run.kv7t"
}
transcript["strays-and-pieces"] = (
    b"# kv7 transcript 1 started 2026-12-07T23:00:00Z port p\n# note\n"
    b"   0.000001 > 13 AA 02 7A\n   0.000002 > 01 AA\n"
    b"   0.000003 < 55 09 7A 01 00\n   0.000004 < 00 00 02 00 00 00 55 01\n"
)


def write(target, seeds):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    for old in os.listdir(folder):
        os.remove(os.path.join(folder, old))
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)
    print(f"{target}: {len(seeds)} seeds")


def main():
    write("channel", channel)
    write("replies", replies)
    write("text", text)
    write("sim", sim)
    write("config", config)
    write("transcript", transcript)
    return 0


if __name__ == "__main__":
    sys.exit(main())
