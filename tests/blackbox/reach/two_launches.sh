#!/usr/bin/env bash
# The desktop program started twice on one data folder, black box, offscreen: the
# second launch hands the request for the window to the first and ends with status 0
# (had it not reached the first, it would sit on "Kestrow is already running",
# which offscreen nobody can close), and the first goes on. Once on a private session
# bus (with the socket taken away, so only the bus can carry it), once without a bus
# over the socket in $XDG_RUNTIME_DIR. Waits are only a watchdog.
kestrow=${KESTROW:?}
source "$(dirname "$0")/../cli/scratch_home.sh"
first=
bus_pid=
cleanup() {
    [[ -n $first ]] && kill -KILL "$first" 2>/dev/null
    [[ -n $bus_pid ]] && kill -TERM "$bus_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap cleanup EXIT
export XDG_RUNTIME_DIR=$scratch/run QT_QPA_PLATFORM=offscreen
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$HOME" "$KESTROW_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
# Not a first start (that one waits on its warning), no start-at-login entry.
printf '[Reminders]\nSysTray=False\n[Miscellaneous]\nRunOnWindowsStartup=False\n' > "$KESTROW_HOME/kestrow.ini"
watchdog=60

# The first program answers once its socket is there (it opens the bus first).
socket() { compgen -G "$XDG_RUNTIME_DIR/kestrow-*"; }
start_first() { # transcript
    "$kestrow" 2> "$1" &
    first=$!
    local tries=$((watchdog * 10))
    while ! socket > /dev/null; do
        kill -0 "$first" 2>/dev/null || { echo "     (the first program ended)"; return 1; }
        ((tries-- > 0)) || { echo "     (no socket)"; return 1; }
        sleep 0.1
    done
}
second_launch() { # transcript; the exit status of the second program
    timeout "$watchdog" "$kestrow" 2> "$1"
}
stop_first() {
    kill -TERM "$first"
    wait "$first"
    local rc=$?
    first=
    return $rc
}

# --- Over the session bus
if command -v dbus-daemon > /dev/null; then
    bus=$(dbus-daemon --session --fork --nosyslog --print-address=1 --print-pid=1)
    export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
    bus_pid=${bus##*$'\n'}
    check "bus: the first program starts and listens" start_first "$scratch/first.err"
    # Only the bus can carry the request now.
    rm -f "$(socket)"
    second_launch "$scratch/second.err"
    check "bus: the second launch ends with status 0" test $? -eq 0
    check "bus: the first program goes on" kill -0 "$first"
    second_launch "$scratch/third.err"
    check "bus: a third launch too" test $? -eq 0
    check "bus: the first program ends on SIGTERM" stop_first
    kill -TERM "$bus_pid"
    bus_pid=
    unset DBUS_SESSION_BUS_ADDRESS
else
    echo "skip bus: dbus-daemon is not installed"
fi

# --- Without a bus: the socket
rm -f "$XDG_RUNTIME_DIR"/kestrow-*
check "socket: the first program starts and listens" start_first "$scratch/first.err"
second_launch "$scratch/second.err"
check "socket: the second launch ends with status 0" test $? -eq 0
check "socket: the first program goes on" kill -0 "$first"
check "socket: the first program ends on SIGTERM" stop_first
check "socket: its socket goes with it" test -z "$(socket)"

if ((failures)); then
    for f in "$scratch"/*.err; do echo "--- $f"; cat "$f"; done
    exit 1
fi
