#!/usr/bin/env bash
# The KV7 INDI driver under indiserver against kv7sim on a pseudo-terminal,
# and indi_simulator_telescope under a second indiserver, driven by the same
# property script with indi_setprop, indi_getprop and indi_eval: connect,
# coordinates, GOTO to a target (Ok within one arcminute of it), sync, abort
# during a slew, the four hand-pad motions, tracking and the side of the
# pier. The standard properties' definitions of both drivers are compared;
# then kv7sim is killed (the connection turns Alert) and restarted (a
# reconnect works).
#
# usage: driver_test.sh DRIVER KV7SIM SIMULATOR_DRIVER [FIRST_PORT]
# Without FIRST_PORT, two ports nobody listens on are picked, so that runs
# in several build trees at once do not meet.
set -u
driver=$1 kv7sim=$2 reference=$3 firstPort=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
export HOME=$work XDG_CONFIG_HOME=$work/config
pids=()
failures=0

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
note() { echo "--- $*"; }

# indi_eval exits 0 once the expression holds; its own -t only counts a
# silence, which a mount reporting five times a second never leaves, so the
# deadline is timeout's. An operand may appear only once in an expression
# (indi_eval waits for a value of each entry).
wait_for() { # port seconds expression
  timeout "$2" indi_eval -p "$1" -w -t 0 "$3" >/dev/null 2>&1
}
value() { # port device.property.element
  indi_getprop -p "$1" -t 5 -1 "$2" 2>/dev/null
}
set_props() { # port device.property.element=value ...
  local port=$1; shift
  indi_setprop -p "$port" "$@" >/dev/null 2>&1
}
# True when |a - b| (scaled) is below the limit: compare a b scale limit.
near() { python3 -c "import sys; a,b,s,l=map(float,sys.argv[1:]); d=abs(a-b)*s; d=min(d, 360*s/15-d) if s==15 else d; sys.exit(0 if d<l else 1)" "$@"; }

# Starts kv7sim on a pseudo-terminal with a stable link to it; fast clock so
# slews take seconds. Its first line is the device path.
start_kv7sim() {
  rm -f "$work/sim.fifo"
  mkfifo "$work/sim.fifo"
  "$kv7sim" --link "$work/kv7" --time-scale 20 >"$work/sim.fifo" 2>>"$work/sim.log" &
  simPid=$!
  pids+=("$simPid")
  exec 4<"$work/sim.fifo"
  local pty=""
  read -r -t 10 -u 4 pty || true
  [ -n "$pty" ] && [ -e "$work/kv7" ]
}

start_server() { # port driver device
  indiserver -p "$1" -u "$work/indiserver-$1" "$2" >>"$work/server-$1.log" 2>&1 &
  pids+=("$!")
  local deadline=$((SECONDS + 15))
  until indi_getprop -p "$1" -t 2 "$3.CONNECTION.CONNECT" >/dev/null 2>&1; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.1   # polling for the server's socket, within the deadline
  done
}

# The local sidereal time in hours at longitude (degrees east), now.
lst() {
  python3 -c "
import sys, time
jd = time.time() / 86400.0 + 2440587.5
gmst = 18.697374558 + 24.06570982441908 * (jd - 2451545.0)
print((gmst + float(sys.argv[1]) / 15.0) % 24.0)" "$1"
}

connect() { # port device
  set_props "$1" "$2.CONNECTION.CONNECT=On"
  wait_for "$1" 20 "\"$2.CONNECTION.CONNECT\"==1 && \"$2.CONNECTION._STATE\"==1"
}

slew_to() { # port device ra dec seconds end-state: GOTO, wait for Busy, then for the end state
  set_props "$1" "$2.EQUATORIAL_EOD_COORD.RA;DEC=$3;$4"
  wait_for "$1" 5 "\"$2.EQUATORIAL_EOD_COORD._STATE\"==2" &&
    wait_for "$1" "$5" "\"$2.EQUATORIAL_EOD_COORD._STATE\"==$6"
}

at_target() { # port device ra dec [arcminutes, default 1]
  local ra dec limit
  limit=$(python3 -c "print(${5:-1} / 60)")
  ra=$(value "$1" "$2.EQUATORIAL_EOD_COORD.RA")
  dec=$(value "$1" "$2.EQUATORIAL_EOD_COORD.DEC")
  near "$ra" "$3" 15 "$limit" && near "$dec" "$4" 1 "$limit" || { echo "at RA $ra Dec $dec, not $3 $4"; return 1; }
}

# Moves one way at the find rate until the coordinate has changed the
# expected way, then stops; the property is Busy while moving, Idle after.
hand_pad() { # port device property element coordinate sign
  local p=$1 d=$2 before
  before=$(value "$p" "$d.EQUATORIAL_EOD_COORD.$5")
  set_props "$p" "$d.$3.$4=On"
  wait_for "$p" 5 "\"$d.$3._STATE\"==2" || fail "$d: $3.$4 did not turn Busy"
  wait_for "$p" 10 "(\"$d.EQUATORIAL_EOD_COORD.$5\" - $before) * $6 > 0.05" || fail "$d: $3.$4 did not move $5 ($6)"
  set_props "$p" "$d.$3.$4=Off"
  wait_for "$p" 5 "\"$d.$3._STATE\"==0 && \"$d.$3.$4\"==0" || fail "$d: $3.$4 did not stop"
}

# GOTO mode: kv7sim runs its clock twenty times real time, so a tracking
# mount would run away from the sky the driver computes in real time; the
# KV7 slews without tracking (ending Idle), the simulator telescope with it
# (ending Ok). The KV7 must end within one arcminute of the target; the
# simulator telescope of libindi 1.9.9 stops about 3.3 arcminutes short in
# RA, so it is held to five.
exercise() { # port device goto-mode end-state arcminutes
  local p=$1 d=$2 mode=$3 endState=$4 within=$5 longitude=19.5
  note "$d: connect"
  connect "$p" "$d" || { fail "$d: no connection"; return; }
  if indi_getprop -p "$p" -t 1 "$d.TELESCOPE_PARK.UNPARK" >/dev/null 2>&1; then
    set_props "$p" "$d.TELESCOPE_PARK.UNPARK=On"
    wait_for "$p" 10 "\"$d.TELESCOPE_PARK.UNPARK\"==1" || fail "$d: did not unpark"
  fi
  set_props "$p" "$d.GEOGRAPHIC_COORD.LAT;LONG;ELEV=50;$longitude;0"
  wait_for "$p" 5 "\"$d.GEOGRAPHIC_COORD._STATE\"==1" || fail "$d: site not taken"

  note "$d: coordinates"
  value "$p" "$d.EQUATORIAL_EOD_COORD.RA" | grep -Eq '^[0-9.]+$' || fail "$d: no RA"
  value "$p" "$d.EQUATORIAL_EOD_COORD.DEC" | grep -Eq '^-?[0-9.]+$' || fail "$d: no Dec"

  note "$d: GOTO ($mode)"
  local ra
  ra=$(python3 -c "print(($(lst $longitude) - 1.0) % 24)")
  set_props "$p" "$d.ON_COORD_SET.$mode=On"
  slew_to "$p" "$d" "$ra" 30 60 "$endState" || fail "$d: GOTO did not end"
  at_target "$p" "$d" "$ra" 30 "$within" || fail "$d: GOTO ended away from the target"

  note "$d: sync"
  local syncRa
  syncRa=$(python3 -c "print(($ra + 0.05) % 24)")
  set_props "$p" "$d.ON_COORD_SET.SYNC=On"
  set_props "$p" "$d.EQUATORIAL_EOD_COORD.RA;DEC=$syncRa;30.5"
  wait_for "$p" 5 "\"$d.EQUATORIAL_EOD_COORD._STATE\"!=2 && abs(\"$d.EQUATORIAL_EOD_COORD.DEC\" - 30.5) < 0.01" ||
    fail "$d: sync not shown"
  at_target "$p" "$d" "$syncRa" 30.5 || fail "$d: sync not where asked"
  set_props "$p" "$d.ON_COORD_SET.$mode=On"

  note "$d: abort during a slew"
  set_props "$p" "$d.EQUATORIAL_EOD_COORD.RA;DEC=$ra;-20"
  wait_for "$p" 5 "\"$d.EQUATORIAL_EOD_COORD._STATE\"==2 && \"$d.EQUATORIAL_EOD_COORD.DEC\" < 29" ||
    fail "$d: slew did not start"
  # The event loop stays free while the mount slews: a property is read
  # within indi_getprop's own two seconds.
  indi_getprop -p "$p" -t 2 "$d.TIME_UTC.UTC" >/dev/null 2>&1 || fail "$d: no answer during a slew"
  set_props "$p" "$d.TELESCOPE_ABORT_MOTION.ABORT=On"
  wait_for "$p" 5 "\"$d.TELESCOPE_ABORT_MOTION._STATE\"==1 && \"$d.EQUATORIAL_EOD_COORD._STATE\"!=2" ||
    fail "$d: abort not confirmed"
  # The axes ramp down; a mount that kept on would reach the target.
  if wait_for "$p" 5 "\"$d.EQUATORIAL_EOD_COORD.DEC\" < -19.9"; then
    fail "$d: the slew went on to its target after abort"
  fi
  local stopped
  stopped=$(value "$p" "$d.EQUATORIAL_EOD_COORD.DEC")
  # At rest by now: the wait must run out.
  if wait_for "$p" 2 "abs(\"$d.EQUATORIAL_EOD_COORD.DEC\" - $stopped) > 0.05"; then
    fail "$d: still moving after abort"
  fi

  note "$d: hand-pad motion"
  set_props "$p" "$d.TELESCOPE_SLEW_RATE.3x=On"
  hand_pad "$p" "$d" TELESCOPE_MOTION_NS MOTION_NORTH DEC 1
  hand_pad "$p" "$d" TELESCOPE_MOTION_NS MOTION_SOUTH DEC -1
  hand_pad "$p" "$d" TELESCOPE_MOTION_WE MOTION_WEST RA -1
  hand_pad "$p" "$d" TELESCOPE_MOTION_WE MOTION_EAST RA 1

  note "$d: tracking"
  set_props "$p" "$d.TELESCOPE_TRACK_STATE.TRACK_ON=On"
  wait_for "$p" 5 "\"$d.TELESCOPE_TRACK_STATE.TRACK_ON\"==1 && \"$d.TELESCOPE_TRACK_STATE._STATE\"==2" ||
    fail "$d: tracking not on"
  set_props "$p" "$d.TELESCOPE_TRACK_STATE.TRACK_OFF=On"
  wait_for "$p" 5 "\"$d.TELESCOPE_TRACK_STATE.TRACK_OFF\"==1 && \"$d.TELESCOPE_TRACK_STATE._STATE\"==0" ||
    fail "$d: tracking not off"

  note "$d: side of the pier"
  wait_for "$p" 5 "\"$d.TELESCOPE_PIER_SIDE.PIER_EAST\" + \"$d.TELESCOPE_PIER_SIDE.PIER_WEST\" == 1" ||
    fail "$d: side of the pier not shown"
}

standard=(CONNECTION EQUATORIAL_EOD_COORD ON_COORD_SET TELESCOPE_ABORT_MOTION TELESCOPE_MOTION_NS
  TELESCOPE_MOTION_WE TELESCOPE_SLEW_RATE TELESCOPE_TRACK_STATE TELESCOPE_PIER_SIDE GEOGRAPHIC_COORD TIME_UTC)

if [ -n "$firstPort" ]; then
  kv7Port=$firstPort
  refPort=$((firstPort + 1))
else
  read -r kv7Port refPort < <(python3 -c "
import socket
socks = [socket.socket() for _ in range(2)]
for s in socks: s.bind(('localhost', 0))
print(*(s.getsockname()[1] for s in socks))")
fi
start_kv7sim || { echo "FAIL: kv7sim did not start"; exit 1; }
start_server "$kv7Port" "$driver" KV7 || { echo "FAIL: the driver did not start"; cat "$work/server-$kv7Port.log"; exit 1; }
start_server "$refPort" "$reference" "Telescope Simulator" || { echo "FAIL: the simulator telescope did not start"; exit 1; }

set_props "$kv7Port" "KV7.DEVICE_PORT.PORT=$work/kv7"
exercise "$kv7Port" KV7 SLEW 0 1
exercise "$refPort" "Telescope Simulator" TRACK 1 5

note "KV7: the KV7 tab"
k="KV7"
wait_for "$kv7Port" 5 "\"$k.KV7_ENCODERS._STATE\"==1" || fail "KV7: no encoder reading shown"
set_props "$kv7Port" "$k.KV7_ENCODER_FORMAT.RA_LEADING_BITS=32"
wait_for "$kv7Port" 5 "\"$k.KV7_ENCODER_FORMAT._STATE\"==3 && \"$k.KV7_ENCODER_FORMAT.RA_LEADING_BITS\"==12" ||
  fail "KV7: a format no encoder can send was not refused"
set_props "$kv7Port" "$k.KV7_CALIBRATION.RA_OFFSET;DEC_OFFSET=1000;0"
wait_for "$kv7Port" 5 "\"$k.KV7_CALIBRATION._STATE\"==1 && \"$k.KV7_CALIBRATION.RA_OFFSET\"==1000" ||
  fail "KV7: calibration not confirmed"
set_props "$kv7Port" "$k.KV7_STORE.STORE=On"
wait_for "$kv7Port" 5 "\"$k.KV7_STORE._STATE\"==1" || fail "KV7: Save into KV7 not confirmed"
set_props "$kv7Port" "$k.KV7_PIER.SET_WEST=On"
wait_for "$kv7Port" 5 "\"$k.TELESCOPE_PIER_SIDE.PIER_WEST\"==1" || fail "KV7: west reference not shown as the side"
set_props "$kv7Port" "$k.KV7_PIER.SET_EAST=On"
wait_for "$kv7Port" 5 "\"$k.TELESCOPE_PIER_SIDE.PIER_EAST\"==1" || fail "KV7: east reference not shown as the side"

note "KV7: values no client should send"
# Out of the sky, and a switch the property does not have (sent as raw XML:
# indi_setprop checks names before it sends):
# each answered with Alert and a message, the mount left where it is, the
# driver still answering.
raw() { # port xml
  python3 -c "
import socket, sys, time
s = socket.create_connection(('localhost', int(sys.argv[1])))
s.sendall(sys.argv[2].encode() + b'\n')
time.sleep(0.2)" "$1" "$2"
}
decBefore=$(value "$kv7Port" KV7.EQUATORIAL_EOD_COORD.DEC)
for bad in "25;30" "6;95" "-1;-95"; do
  set_props "$kv7Port" "KV7.EQUATORIAL_EOD_COORD.RA;DEC=$bad"
  wait_for "$kv7Port" 5 "\"KV7.EQUATORIAL_EOD_COORD._STATE\"==3" || fail "KV7: RA;DEC=$bad not refused with Alert"
  set_props "$kv7Port" "KV7.TELESCOPE_ABORT_MOTION.ABORT=On"
  wait_for "$kv7Port" 5 "\"KV7.EQUATORIAL_EOD_COORD._STATE\"!=3" || fail "KV7: Alert did not clear"
done
raw "$kv7Port" '<newSwitchVector device="KV7" name="TELESCOPE_SLEW_RATE"><oneSwitch name="NO_SUCH">On</oneSwitch></newSwitchVector>'
wait_for "$kv7Port" 5 "\"KV7.TELESCOPE_SLEW_RATE._STATE\"==3" || fail "KV7: an unknown switch not answered with Alert"
near "$(value "$kv7Port" KV7.EQUATORIAL_EOD_COORD.DEC)" "$decBefore" 1 0.02 || fail "KV7: the mount moved on a refused position"
value "$kv7Port" KV7.CONNECTION._STATE | grep -qx Ok || fail "KV7: the driver stopped answering after bad values"

note "KV7: the site is kept in the settings file of the window and kv7ctl"
settings="$XDG_CONFIG_HOME/kv7/settings.ini"
grep -qx "latitude=50" "$settings" && grep -qx "longitude=19.5" "$settings" || fail "KV7: site not in $settings"

note "KV7: TIME_UTC moves the sidereal time"
before=$(value "$kv7Port" KV7.EQUATORIAL_EOD_COORD.RA)
# An hour of clock is 1.0027 hours of sidereal time; the mount is at rest.
expected=$(python3 -c "print(($before + 1.0027379) % 24)")
set_props "$kv7Port" "KV7.TIME_UTC.UTC;OFFSET=$(date -u -d '+1 hour' +%Y-%m-%dT%H:%M:%S);0"
wait_for "$kv7Port" 5 "abs(\"KV7.EQUATORIAL_EOD_COORD.RA\" - $expected) < 0.01" || fail "KV7: TIME_UTC not applied"
set_props "$kv7Port" "KV7.TIME_UTC.UTC;OFFSET=$(date -u +%Y-%m-%dT%H:%M:%S);0"

note "definitions of the standard properties"
python3 "$here/definitions.py" "$kv7Port" KV7 "${standard[@]}" >"$work/kv7.defs"
python3 "$here/definitions.py" "$refPort" "Telescope Simulator" "${standard[@]}" >"$work/ref.defs"
# The comparison, a row per standard property.
python3 - "$work/ref.defs" "$work/kv7.defs" <<'TABLE'
import sys
ref, kv7 = ([line.split() for line in open(path)] for path in sys.argv[1:])
print("%-24s %-18s %-9s %-14s %s" % ("property", "kind", "perm", "rule", "same as the simulator telescope"))
for r, k in zip(ref, kv7):
    print("%-24s %-18s %-9s %-14s %s" % (k[0], k[1], k[2] if len(k) > 2 else "", k[3] if len(k) > 3 else "",
                                           "yes" if r == k else "NO: " + " ".join(r[1:])))
TABLE
grep -q missing "$work/ref.defs" "$work/kv7.defs" && fail "a standard property is missing"
diff -u "$work/ref.defs" "$work/kv7.defs" || fail "the standard properties differ from the simulator telescope's"

note "KV7: a lost device"
kill "$simPid"
wait "$simPid" 2>/dev/null
wait_for "$kv7Port" 10 "\"KV7.CONNECTION._STATE\"==3" || fail "KV7: a lost device did not turn Alert"
start_kv7sim || fail "kv7sim did not start again"
connect "$kv7Port" KV7 || fail "KV7: no reconnect"

if [ "$failures" -ne 0 ]; then
  echo "--- driver log"
  tail -40 "$work/server-$kv7Port.log"
  echo "$failures failure(s)"
  exit 1
fi
echo "all passed"
