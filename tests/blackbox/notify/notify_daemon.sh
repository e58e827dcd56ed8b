#!/usr/bin/env bash
# The daemon's notifications on stderr, black box: a failed scheduled run and a task
# left behind are each told in one line (with the journal's priority prefix only
# when stderr is a journal stream), and the options file's switch silences them.
# The test waits on the daemon's own lines; read timeouts are only a watchdog.
source "$(dirname "$0")/../daemon/daemon_scratch.sh"
unset JOURNAL_STREAM
mkdir -p "$scratch/src" "$scratch/dst"
printf 'one' > "$scratch/src/a.txt"

# Copies lines from file descriptor $1 into file $3 until one contains $2.
wait_for_line() { # fd, pattern, transcript
    local fd=$1 pattern=$2 line
    while IFS= read -r -t "$watchdog" -u "$fd" line; do
        printf '%s\n' "$line" >> "$3"
        [[ $line == *"$pattern"* ]] && return 0
    done
    echo "     (no line with '$pattern')"
    return 1
}

# Two tasks due long ago (the machine was off): "Broken" has no Source and runs
# first; "Later", every 5 minutes, waits for the next tick and is by then far more
# than two intervals behind.
list=$scratch/Tasks.kwt
cat > "$list" <<EOF
[Broken]
SourceFolderSpec=$scratch/missing/
TargetFolderSpec=$scratch/dst/
IntervalType=1
IntervalIncrement=60
StartTime=0.5
NextCloneDateTime=2
[Later]
SourceFolderSpec=$scratch/src/
TargetFolderSpec=$scratch/dst/
IntervalType=1
IntervalIncrement=5
StartTime=0.5
NextCloneDateTime=3
EOF
cp "$list" "$scratch/Tasks.orig"
mkfifo "$scratch/err.fifo"
exec 4<>"$scratch/err.fifo"

# Runs the daemon until the line with $2 has come on its stderr, then stops it; the
# stderr lines up to the stop land in $1.
run_daemon() { # transcript, pattern, daemon options...
    local transcript=$1 pattern=$2 line; shift 2
    : > "$transcript"
    cp "$scratch/Tasks.orig" "$list"
    rm -f "$KESTROW_HOME/clone.log"
    "$cli" daemon "$@" --task-list "$list" >/dev/null 2>&4 & pid=$!; pids+=("$pid")
    wait_for_line 4 "$pattern" "$transcript"
    local found=$?
    kill -TERM "$pid"; wait "$pid"
    if ! grep -q -- '-q' <<<"$*"; then
        wait_for_line 4 "kestrow-cli daemon: stopped" "$transcript" || found=1
    fi
    return $found
}

failed='kestrow-cli daemon: The scheduled task "Broken" ended with errors. The log has the details.'
behind='kestrow-cli daemon: The scheduled task "Later" has not been able to run since it was due at 1/2/1900'

# --- both notifications, once each, plain in a terminal ------------------------------
t=$scratch/plain.txt
check "both tasks ran" run_daemon "$t" "kestrow-cli daemon: ran 'Later'"
check "failed run told in one line" test "$(grep -cxF -- "$failed" "$t")" -eq 1
check "task left behind told once" test "$(grep -c -- "^$behind" "$t")" -eq 1
check "told before the daemon's own line of the run" \
    test "$(grep -n -- "$failed" "$t" | cut -d: -f1)" -lt "$(grep -n "ran 'Broken'" "$t" | cut -d: -f1)"
check "no priority prefix outside the journal" bash -c "! grep -q '^<[0-9]>' '$t'"
check "the task that ran cleanly is not told as failed" bash -c "! grep -q '\"Later\" ended with errors' '$t'"

# --- -q keeps the notifications -------------------------------------------------------
t=$scratch/quiet.txt
check "quiet daemon still tells" run_daemon "$t" "$behind" -q
check "quiet daemon told the failed run" grep -qxF -- "$failed" "$t"

# --- stderr as a journal stream: priorities --------------------------------------------
t=$scratch/journal.txt
export JOURNAL_STREAM=8:12345
check "journal run" run_daemon "$t" "kestrow-cli daemon: ran 'Later'"
unset JOURNAL_STREAM
check "failed run is an error (<3>)" grep -qxF -- "<3>$failed" "$t"
check "task left behind is a warning (<4>)" grep -q -- "^<4>$behind" "$t"
check "the daemon's other lines keep no prefix" grep -q "^kestrow-cli daemon: ran 'Broken'" "$t"

# --- the switch off ------------------------------------------------------------------
printf '[Miscellaneous]\nNotifications=False\n' > "$KESTROW_HOME/kestrow.ini"
t=$scratch/off.txt
check "switched-off daemon ran both" run_daemon "$t" "kestrow-cli daemon: ran 'Later'"
check "switched off: nothing told" bash -c "! grep -q 'The scheduled task' '$t'"
check "switched off: the options file is left as it was" \
    test "$(cat "$KESTROW_HOME/kestrow.ini")" == "$(printf '[Miscellaneous]\nNotifications=False')"

echo "$failures failure(s)"
test "$failures" -eq 0
