#!/usr/bin/env bash
# Runs `kestrow-cli daemon` as a service would, in a scratch home: the lock, a due
# task run unattended, and a clean stop on SIGTERM in the middle of a run. The test
# waits on the daemon's own output (never on the clock); the read timeouts are only
# a watchdog against a daemon that never says what it should.
source "$(dirname "$0")/daemon_scratch.sh"

# Reads lines from file descriptor $1 until one contains $2; fails after the watchdog.
wait_for_line() {
    local fd=$1 pattern=$2 line
    while IFS= read -r -t "$watchdog" -u "$fd" line; do
        [[ $line == *"$pattern"* ]] && return 0
    done
    echo "     (no line with '$pattern')"
    return 1
}

# The value of a key of a task's section in a task list file.
task_value() { # file, task, key
    awk -v sec="[$2]" -v key="$3" '
        $0 == sec { inside = 1; next }
        /^\[/ { inside = 0 }
        inside && index($0, key "=") == 1 { print substr($0, length(key) + 2); exit }' "$1"
}

# The section of an hourly task that is due now.
due_task() { # name, source, target
    printf '[%s]\nSourceFolderSpec=%s\nTargetFolderSpec=%s\nIntervalType=2\nIntervalIncrement=1\nStartTime=0.5\nNextCloneDateTime=2\n' \
        "$1" "$2" "$3"
}

data_listing() { find "$KESTROW_HOME" -printf '%p %s %T@\n' | sort; }

lock=$KESTROW_HOME/.kestrow.lock

# --- usage -------------------------------------------------------------------------
out=$("$cli" daemon --help); rc=$?
check "daemon --help exits 0" test $rc -eq 0
check "daemon --help shows its usage" grep -q '^Usage: kestrow-cli daemon' <<<"$out"
"$cli" daemon --every-second >/dev/null 2>&1; rc=$?
check "unknown option is bad usage (2)" test $rc -eq 2
err=$("$cli" daemon --task-list "$scratch/none.kwt" 2>&1 >/dev/null); rc=$?
check "missing task list is bad usage (2)" test $rc -eq 2
check "missing task list is named" grep -q "task list $scratch/none.kwt does not exist" <<<"$err"

# --- one instance per data folder -----------------------------------------------------
mkfifo "$scratch/err.fifo"
exec 4<>"$scratch/err.fifo"
"$cli" daemon >/dev/null 2>&4 & pid=$!; pids+=("$pid")
check "idle daemon starts" wait_for_line 4 "kestrow-cli daemon: scheduling 0 tasks of $KESTROW_HOME/Default Task List.kwt"
check "lock is held by the daemon" bash -c "! flock -n '$lock' true"
before=$(data_listing)
err=$("$cli" daemon 2>&1 >/dev/null); rc=$?
check "second daemon is refused (1)" test $rc -eq 1
check "second daemon says Kestrow is already running" grep -q 'Kestrow is already running' <<<"$err"
check "second daemon touched no file" test "$before" == "$(data_listing)"
kill -TERM "$pid"; wait "$pid"; rc=$?
check "idle daemon stops with 0 on SIGTERM" test $rc -eq 0
check "idle daemon says it stopped" wait_for_line 4 "kestrow-cli daemon: stopped"
check "lock is free again" flock -n "$lock" true
check "daemon wrote no options file" test ! -e "$KESTROW_HOME/kestrow.ini"

# --- a due task runs unattended -----------------------------------------------------
src=$scratch/src
mkdir -p "$src/sub" "$scratch/dst-due" "$scratch/dst-manual"
printf 'one' > "$src/a.txt"
printf 'two' > "$src/sub/b.txt"
list=$scratch/lists/Service.kwt
mkdir -p "$(dirname "$list")"
cat > "$list" <<EOF
[Manual]
SourceFolderSpec=$src/
TargetFolderSpec=$scratch/dst-manual/
IntervalType=0
[Due]
SourceFolderSpec=$src/
TargetFolderSpec=$scratch/dst-due/
IntervalType=1
IntervalIncrement=90
StartTime=0.5
NextCloneDateTime=2
EOF
"$cli" daemon --task-list "$list" >"$scratch/out-due.txt" 2>&4 & pid=$!; pids+=("$pid")
check "due task runs and is saved" wait_for_line 4 "kestrow-cli daemon: ran 'Due'; next run "
kill -TERM "$pid"; wait "$pid"; rc=$?
check "daemon stops with 0" test $rc -eq 0
check "due task copied its files" test -f "$scratch/dst-due/a.txt" -a -f "$scratch/dst-due/sub/b.txt"
check "manual task never ran" test -z "$(ls -A "$scratch/dst-manual")"
last=$(task_value "$list" Due LastCloneDateTime)
next=$(task_value "$list" Due NextCloneDateTime)
check "run time saved to the task list" awk -v v="$last" 'BEGIN { exit !(v > 40000) }'
check "next run saved after the run" awk -v l="$last" -v n="$next" 'BEGIN { exit !(n > l) }'
check "error flag saved clear" test "$(task_value "$list" Due ErrorOnLastClone)" == False
check "log lines on stdout" grep -q '<End: Due> {All Activity Logged}' "$scratch/out-due.txt"
check "clone.log has the run once" test "$(grep -c '<Begin: Due>' "$KESTROW_HOME/clone.log")" -eq 1
check "no shutdown entry after a finished run" bash -c "! grep -q 'Application Shutdown Error' '$KESTROW_HOME/clone.log'"

# --- SIGTERM in the middle of a run -------------------------------------------------
# The log lines go through a pipe that is read only up to the first copy: the daemon
# cannot get far past it before the signal comes, so the run is always cut short.
big=$scratch/big
mkdir -p "$big" "$scratch/dst-big"
for i in $(seq 1 3000); do : > "$big/file-$i.txt"; done
due_task Big "$big/" "$scratch/dst-big/" > "$list"
mkfifo "$scratch/out.fifo"
exec 3<>"$scratch/out.fifo"
"$cli" daemon --task-list "$list" >&3 2>&4 & pid=$!; pids+=("$pid")
check "big run starts copying" wait_for_line 3 " - Copied: "
kill -TERM "$pid"
cat <&3 >"$scratch/out-big.txt" & drain=$!; pids+=("$drain"); disown "$drain"
wait "$pid"; rc=$?
check "daemon stopped mid-run exits 0" test $rc -eq 0
check "cancelled run is saved" wait_for_line 4 "kestrow-cli daemon: ran 'Big' (with errors); next run "
check "daemon says it stopped" wait_for_line 4 "kestrow-cli daemon: stopped"
copied=$(find "$scratch/dst-big" -type f | wc -l)
check "run stopped before the end ($copied of 3000 copied)" test "$copied" -lt 3000
log=$KESTROW_HOME/clone.log
check "log has the cancel" grep -q ' \*User Cancelled Error: ' "$log"
check "log has the run's end" grep -q '<End: Big> {All Activity Logged}' "$log"
check "log has the shutdown entry" grep -q ' \*Application Shutdown Error: The clone task was aborted' "$log"
check "log ends with the end entry of Unknown Task Name" \
    test "$(grep -v '^$' "$log" | tail -n 1 | sed 's/.*<End:/<End:/')" == '<End: Unknown Task Name> {All Activity Logged}'
check "error flag saved" test "$(task_value "$list" Big ErrorOnLastClone)" == True
check "lock released after the stop" flock -n "$lock" true

# --- a daemon that follows its task list ----------------------------------------------
# While the daemon runs, the file is edited by hand: a task changed, one added, one
# removed during its own run. Each tick must see the file as it is, and a run must
# write back only its own fields.
for d in follow-a follow-b follow-added follow-gone; do mkdir -p "$scratch/$d"; done
{ due_task Kept "$src/" "$scratch/follow-a/"; echo Category=Unfiled; } > "$list"
"$cli" daemon --task-list "$list" >"$scratch/out-follow.txt" 2>&4 & pid=$!; pids+=("$pid")
check "followed task runs" wait_for_line 4 "kestrow-cli daemon: ran 'Kept'; next run "
check "it copied to its first Target" test -f "$scratch/follow-a/a.txt"
# A hand edit through a new file (as editors save), made due again.
sed -e "s|^TargetFolderSpec=.*|TargetFolderSpec=$scratch/follow-b/|" -e 's|^Category=.*|Category=Edited|' \
    -e 's|^NextCloneDateTime=.*|NextCloneDateTime=2|' "$list" > "$list.new" && mv "$list.new" "$list"
check "edited task is reread" wait_for_line 4 "kestrow-cli daemon: scheduling 1 task of $list"
check "edited task runs again" wait_for_line 4 "kestrow-cli daemon: ran 'Kept'; next run "
check "it copied to the edited Target" test -f "$scratch/follow-b/a.txt"
check "the edited Target is kept in the file" test "$(task_value "$list" Kept TargetFolderSpec)" == "$scratch/follow-b/"
check "the edited category is kept in the file" test "$(task_value "$list" Kept Category)" == Edited
# A task appended in place (same inode).
due_task "Added By Hand" "$src/" "$scratch/follow-added/" >> "$list"
check "added task runs" wait_for_line 4 "kestrow-cli daemon: ran 'Added By Hand'; next run "
check "added task copied its files" test -f "$scratch/follow-added/sub/b.txt"
kill -TERM "$pid"; wait "$pid"
check "daemon stops" wait_for_line 4 "kestrow-cli daemon: stopped"

# A task removed from the file while it runs is not written back; an edit of another
# task made meanwhile stays. The run's log lines go to a pipe read only once the file
# is edited, so the run is still going on while the file changes.
rm -rf "$scratch/follow-gone"/*
due_task "Removed While Running" "$big/" "$scratch/follow-gone/" >> "$list"
mkfifo "$scratch/follow.fifo"
exec 5<>"$scratch/follow.fifo"
"$cli" daemon --task-list "$list" >&5 2>&4 & pid=$!; pids+=("$pid")
check "long task starts copying" wait_for_line 5 " - Copied: "
awk '/^\[Removed While Running\]$/ { skip = 1; next } /^\[/ { skip = 0 } !skip' "$list" |
    sed 's|^Category=Edited|Category=Edited Again|' > "$list.new" && mv "$list.new" "$list"
cat <&5 >/dev/null & drain=$!; pids+=("$drain"); disown "$drain"
check "long task ends" wait_for_line 4 "kestrow-cli daemon: ran 'Removed While Running'"
check "the shortened list is reread" wait_for_line 4 "kestrow-cli daemon: scheduling 2 tasks of $list"
check "removed task is not written back" bash -c "! grep -q '^\[Removed While Running\]' '$list'"
check "edit made during the run is kept" test "$(task_value "$list" Kept Category)" == "Edited Again"

# SIGHUP rereads the options too: with only errors logged, the next run logs no copy.
printf '[Log]\nLogOnlyErrors=True\n' > "$KESTROW_HOME/kestrow.ini"
copies_logged() { grep -c "Copied: a.txt from $src/ to $scratch/follow-a/" "$KESTROW_HOME/clone.log"; }
logged_before=$(copies_logged)
kill -HUP "$pid"
check "SIGHUP rereads" wait_for_line 4 "kestrow-cli daemon: scheduling 2 tasks of $list"
check "SIGHUP does not stop the daemon" kill -0 "$pid"
rm -rf "$scratch/follow-a"/*
sed -e "s|^TargetFolderSpec=$scratch/follow-b/|TargetFolderSpec=$scratch/follow-a/|" \
    -e 's|^NextCloneDateTime=.*|NextCloneDateTime=2|' "$list" > "$list.new" && mv "$list.new" "$list"
check "task runs after SIGHUP" wait_for_line 4 "kestrow-cli daemon: ran 'Kept'"
check "it still copies" test -f "$scratch/follow-a/a.txt"
check "with only errors logged no copy is logged" test "$(copies_logged)" -eq "$logged_before"
kill -TERM "$pid"; wait "$pid"; rc=$?
check "daemon that was sent SIGHUP stops with 0" test $rc -eq 0
check "it says it stopped" wait_for_line 4 "kestrow-cli daemon: stopped"

echo "$failures failure(s)"
test "$failures" -eq 0
