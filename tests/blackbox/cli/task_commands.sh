#!/usr/bin/env bash
# kestrow-cli task add, edit, remove and show, run as a user would in a scratch home,
# read back from the task list file itself.
set -u
cli=${KESTROW_CLI:?}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch/home KESTROW_HOME=$scratch/data XDG_DATA_HOME=$scratch/home/.local/share \
       XDG_CONFIG_HOME=$scratch/home/.config XDG_CONFIG_DIRS=$scratch/etc/xdg TZ=UTC
failures=0
check() { # name, condition...
    local name=$1; shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
same() { # name, expected, actual
    if [ "$2" = "$3" ]; then echo "ok   $1"; else
        echo "FAIL $1"; diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/     /'
        failures=$((failures + 1)); fi
}

list=$KESTROW_HOME/"Default Task List.kwt"
# The section of task $1 as the file holds it (line breaks without CR).
section() { tr -d '\r' < "${2:-$list}" | awk -v h="[$1]" '/^\[/ { f = ($0 == h) } f'; }
key() { section "$1" "${3:-$list}" | sed -n "s/^$2=//p"; }
# A day number as "weekday(1 = Monday) HH:MM:SS"; the program's day numbers are local
# times, and the test runs in UTC.
day_time() { date -u -d "@$(awk -v d="$1" 'BEGIN { printf "%d", (d - 25569) * 86400 + 0.5 }')" '+%u %H:%M:%S'; }
# The message the console shows for a message box: title, icon, the text.
message() { printf 'kestrow: %s [%s]\n%b' "$1" "$2" "$3"; }

src=$scratch/src t1=$scratch/t1 t2=$scratch/t2 t3=$scratch/t3
mkdir -p "$src/sub/deeper" "$src/other" "$t1" "$t2" "$t3"
printf 'a' > "$src/a.txt"
printf 'b' > "$src/sub/b.txt"
printf 'c' > "$src/sub/deeper/c.tmp"
printf 'd' > "$src/other/d.txt"

# add, then show: the values as written.
out=$("$cli" task add "Weekly Docs" --source "$src" --target "$t1" --target "$t2/" --schedule weekly \
    --days mon,Wed --start 20:30 --category work --no-subfolders 2>&1); rc=$?
check "add exits 0" test $rc -eq 0
same "add prints nothing" "" "$out"
out=$("$cli" task show "weekly docs"); rc=$?
check "show exits 0" test $rc -eq 0
same "show prints the file's section" "$(section "Weekly Docs")" "$out"
same "show prints the header and the sixteen keys in their order" \
    "[Weekly Docs] SourceFolderSpec TargetFolderSpec IncludeSubFolders StartTime IntervalType IntervalIncrement LastCloneDateTime NextCloneDateTime ErrorOnLastClone AllFilesAndFolders DaysOfWeek IncludeFileSpecs ExcludeFileSpecs IncludeFileMasks ExcludeFileMasks Category" \
    "$(sed 's/=.*//' <<<"$out" | tr '\n' ' ' | sed 's/ $//')"
same "Source saved with its slash" "$src/" "$(key "Weekly Docs" SourceFolderSpec)"
same "Targets joined by <:>" "$t1/<:>$t2/" "$(key "Weekly Docs" TargetFolderSpec)"
same "no subfolders" False "$(key "Weekly Docs" IncludeSubFolders)"
same "start time as a day fraction" 0.854166666666667 "$(key "Weekly Docs" StartTime)"
same "weekly is interval type 4" 4 "$(key "Weekly Docs" IntervalType)"
same "Monday and Wednesday are bits 0 and 2" 5 "$(key "Weekly Docs" DaysOfWeek)"
same "the category as the list spells it" Work "$(key "Weekly Docs" Category)"
same "all items" True "$(key "Weekly Docs" AllFilesAndFolders)"
same "no error" False "$(key "Weekly Docs" ErrorOnLastClone)"
last=$(key "Weekly Docs" LastCloneDateTime) next=$(key "Weekly Docs" NextCloneDateTime)
check "a first LastCloneDateTime of now" grep -Eq '^4[0-9]{4}\.[0-9]+$' <<<"$last"
check "the next run is after it" awk -v l="$last" -v n="$next" 'BEGIN { exit !(n > l) }'
check "the next run is a Monday or Wednesday at 20:30" grep -Eq '^[13] 20:30:00$' <<<"$(day_time "$next")"

# A manual task with every option left to its default, run by name.
"$cli" task add Mirror --source "$src" --target "$t3"; rc=$?
check "add of a manual task exits 0" test $rc -eq 0
same "manual is interval type 0" 0 "$(key Mirror IntervalType)"
same "no next run for a manual task" 0 "$(key Mirror NextCloneDateTime)"
same "subfolders by default" True "$(key Mirror IncludeSubFolders)"
same "noon by default" 0.5 "$(key Mirror StartTime)"
same "Unfiled by default" Unfiled "$(key Mirror Category)"
"$cli" run Mirror -q >/dev/null; rc=$?
check "run of the added task exits 0" test $rc -eq 0
check "run of the added task clones" diff -r "$src" "$t3"

# edit, one option group at a time; what is not given stays.
rm -rf "$t3"/*
"$cli" task edit Mirror --include sub --include "$src/a.txt" --exclude-mask '*.tmp'; rc=$?
check "edit of the selection exits 0" test $rc -eq 0
same "include items as full paths, a folder with its slash" "$src/sub/<:>$src/a.txt" "$(key Mirror IncludeFileSpecs)"
same "exclude mask" '*.tmp' "$(key Mirror ExcludeFileMasks)"
same "a selection is not all items" False "$(key Mirror AllFilesAndFolders)"
same "the Targets stay" "$t3/" "$(key Mirror TargetFolderSpec)"
"$cli" run Mirror -q >/dev/null
check "the selection is what runs" test -f "$t3/a.txt" -a -f "$t3/sub/b.txt" -a ! -e "$t3/sub/deeper/c.tmp" -a ! -e "$t3/other"
"$cli" task edit Mirror --all-items
same "all items again" "True||" "$(key Mirror AllFilesAndFolders)|$(key Mirror IncludeFileSpecs)|$(key Mirror ExcludeFileMasks)"
err=$("$cli" task edit Mirror --exclude "$scratch/elsewhere" 2>&1); rc=$?
check "an item outside the Source is bad usage" test $rc -eq 2
check "the item outside is named" grep -qxF "kestrow-cli task edit: --exclude item '$scratch/elsewhere' is not inside the Source folder $src/" <<<"$err"

"$cli" task edit Mirror --add-target "$t1" --add-target "$t2"
same "--add-target appends" "$t3/<:>$t1/<:>$t2/" "$(key Mirror TargetFolderSpec)"
"$cli" task edit Mirror --remove-target "$t1/"
same "--remove-target drops one" "$t3/<:>$t2/" "$(key Mirror TargetFolderSpec)"
"$cli" task edit Mirror --target "$t1"
same "--target replaces them" "$t1/" "$(key Mirror TargetFolderSpec)"
err=$("$cli" task edit Mirror --remove-target "$t3" 2>&1); rc=$?
check "removing a Target the task lacks is bad usage" test $rc -eq 2
check "the Target is named" grep -qxF "kestrow-cli task edit: --remove-target '$t3' is not a Target of task 'Mirror'" <<<"$err"
"$cli" task edit Mirror --source "$src/other" --subfolders --no-subfolders
same "--source changes" "$src/other/" "$(key Mirror SourceFolderSpec)"
same "the last of --subfolders and --no-subfolders counts" False "$(key Mirror IncludeSubFolders)"

"$cli" task edit Mirror --schedule hours
same "a new hours schedule starts at 1" "2 1" "$(key Mirror IntervalType) $(key Mirror IntervalIncrement)"
"$cli" task edit Mirror --schedule minutes
same "a new minutes schedule starts at 10" "1 10" "$(key Mirror IntervalType) $(key Mirror IntervalIncrement)"
"$cli" task edit Mirror --every 15 --category PERSONAL
same "--every sets the increment" 15 "$(key Mirror IntervalIncrement)"
same "--category changes" Personal "$(key Mirror Category)"
check "a scheduled task has a next run" awk -v l="$(key Mirror LastCloneDateTime)" -v n="$(key Mirror NextCloneDateTime)" 'BEGIN { exit !(n > l) }'
"$cli" task edit Mirror --schedule first-of-month --start 06:15:30
same "first of the month at the start time" "5 0.260763888888889" "$(key Mirror IntervalType) $(key Mirror StartTime)"
check "the next run is at 06:15:30" grep -Eq ' 06:15:30$' <<<"$(day_time "$(key Mirror NextCloneDateTime)")"
same "the next run is on a first" 01 "$(date -u -d "@$(awk -v d="$(key Mirror NextCloneDateTime)" 'BEGIN { printf "%d", (d - 25569) * 86400 + 0.5 }')" +%d)"
"$cli" task edit Mirror --start 00:00
same "a start of midnight is stored as one second past" 0.0000115740740740741 "$(key Mirror StartTime)"
"$cli" task edit Mirror --schedule none
same "back to manual" 0 "$(key Mirror IntervalType)"

# rename: the new section, the old one gone, the include file along.
printf '%s/sub/' "$src" > "$KESTROW_HOME/Mirror.kwi"
"$cli" task edit mirror --rename "Mirror Two"; rc=$?
check "rename exits 0" test $rc -eq 0
check "the old section is gone" test -z "$(section Mirror)"
same "the new section has the task" "$src/other/" "$(key "Mirror Two" SourceFolderSpec)"
check "the include file moved along" test -f "$KESTROW_HOME/Mirror Two.kwi" -a ! -e "$KESTROW_HOME/Mirror.kwi"
"$cli" task edit "Mirror Two" --rename "Moved" --category work; rc=$?
check "rename with an edit exits 0" test $rc -eq 0
same "the renamed task has the edit" Work "$(key Moved Category)"
"$cli" task edit Moved --rename "Mirror Two" >/dev/null 2>&1

# Refusals: the dialog's and the New Task command's messages, word for word, and
# the file as it was.
cp "$list" "$scratch/before.kwt"
unchanged() { cmp -s "$scratch/before.kwt" "$list"; }
refused() { # name, expected stderr, command...
    local name=$1 expected=$2; shift 2
    local err rc
    err=$("$cli" "$@" 2>&1 >/dev/null); rc=$?
    check "$name: exits 1" test $rc -eq 1
    same "$name: the message" "$expected" "$err"
    check "$name: the file is unchanged" unchanged
}
refused "a duplicate name in other letters" \
    "$(message "Duplicate Task Name" exclamation "A task with this name already exists.")" \
    task add "WEEKLY docs" --source "$src" --target "$t1"
refused "an illegal name" \
    "$(message "Illegal Task Name" critical 'Task names cannot contain any of the following characters:\n\\ / : * ? " < > |')" \
    task add 'a:b' --source "$src" --target "$t1"
refused "no Target" "$(message "Validate Folders" exclamation "No target folder has been entered.")" \
    task add New --source "$src"
refused "no Source" "$(message "Validate Folders" exclamation "No source folder has been entered.")" \
    task add New --target "$t1"
minutes='Minutes value is invalid.  Please check the following:\n\n1) The value must be a positive number\n2) The value cannot be less than 5\n'
refused "minutes below 5" "$(message "Invalid Minutes" information "$minutes")" \
    task add New --source "$src" --target "$t1" --schedule minutes --every 4
refused "minutes rounded below 5" "$(message "Invalid Minutes" information "$minutes")" \
    task edit "Mirror Two" --schedule minutes --every 4.4
refused "an increment that is no number" \
    "$(message "Invalid Hours" information 'Hours value is invalid.  Please check the following:\n\nThe value must be a positive number\n')" \
    task add New --source "$src" --target "$t1" --schedule hours --every two
refused "a weekly task without days" "$(message "Invalid Days" information "No days of the week are selected.")" \
    task add New --source "$src" --target "$t1" --schedule weekly --days ""
refused "a rename to the same name in other letters" "$(message "Rename Task" exclamation "Duplicate task name")" \
    task edit "Mirror Two" --rename "MIRROR TWO"
refused "a rename to an illegal name" \
    "$(message "Illegal Task Name" critical 'Task names cannot contain any of the following characters:\n\\ / : * ? " < > |')" \
    task edit "Mirror Two" --rename 'x|y'
err=$("$cli" task add New --source "$scratch/no-such-source" --target "$t1" 2>&1 >/dev/null); rc=$?
check "a missing Source folder: exits 1" test $rc -eq 1
check "a missing Source folder: the dialog's question" grep -qx 'kestrow: Problems with Source Folder \[exclamation\]' <<<"$err"
check "a missing Source folder: answered Cancel" grep -qx '(answered Cancel)' <<<"$err"
check "a missing Source folder: the file is unchanged" unchanged
err=$("$cli" task add New --source "$src" --target "$scratch/no-such-target" 2>&1 >/dev/null); rc=$?
check "a missing Target folder: exits 1" test $rc -eq 1
check "a missing Target folder: the dialog's question" grep -qx 'kestrow: Problems with Target Folder \[exclamation\]' <<<"$err"
check "a missing Target folder: the tail of the question" grep -qx 'Press OK to disregard this error or Cancel to correct the problem.' <<<"$err"
check "a missing Target folder is not made" test ! -e "$scratch/no-such-target"
check "a missing Target folder: the file is unchanged" unchanged

# Bad usage: exit 2, the file as it was.
usage() { # name, expected first line of stderr, command...
    local name=$1 expected=$2; shift 2
    local err rc
    err=$("$cli" "$@" 2>&1 >/dev/null); rc=$?
    check "$name: exits 2" test $rc -eq 2
    same "$name: says why" "$expected" "$(head -1 <<<"$err")"
    check "$name: the file is unchanged" unchanged
}
for verb in edit remove show; do
    usage "$verb of an unknown task" "kestrow-cli task $verb: no task named 'Nope' in $list" task "$verb" Nope \
        $([ "$verb" = edit ] && echo --no-subfolders)
done
usage "an unknown schedule" \
    "kestrow-cli task add: invalid value 'often' for --schedule (none, minutes, hours, days, weekly, first-of-month, last-of-month)" \
    task add New --source "$src" --target "$t1" --schedule often
usage "a start time out of range" "kestrow-cli task add: invalid value '24:00' for --start (HH:MM or HH:MM:SS, 24-hour)" \
    task add New --source "$src" --target "$t1" --start 24:00
usage "an unknown day" "kestrow-cli task add: invalid day 'mo' for --days (mon, tue, wed, thu, fri, sat, sun)" \
    task add New --source "$src" --target "$t1" --days mo,tue
usage "--every with a schedule that has none" "kestrow-cli task add: --every goes with a minutes, hours or days schedule only" \
    task add New --source "$src" --target "$t1" --schedule weekly --every 2
usage "an unknown category" \
    "kestrow-cli task add: unknown category 'Nope' (Unfiled, Documents, E-mail, Financial, Personal, Pictures, Settings, Work)" \
    task add New --source "$src" --target "$t1" --category Nope
usage "--all-items with a selection" \
    "kestrow-cli task add: --all-items cannot go with --include, --exclude, --include-mask or --exclude-mask" \
    task add New --source "$src" --target "$t1" --all-items --include sub
usage "an edit that changes nothing" "kestrow-cli task edit: task edit needs something to change" task edit "Mirror Two"
usage "add without a name" "kestrow-cli task add: task add needs a task NAME" task add --source "$src" --target "$t1"
usage "edit options are not add's" "kestrow-cli task add: unknown option '--rename'" task add New --rename Old
usage "an unknown sub-command" "kestrow-cli task rename: unknown task command 'rename' (add, edit, remove or show)" task rename x
usage "no sub-command" "kestrow-cli task: add, edit, remove or show is needed" task
usage "a task list that does not exist" "kestrow-cli task show: task list $scratch/none.kwt does not exist" \
    task show Mirror --task-list "$scratch/none.kwt"
out=$("$cli" task --help); rc=$?
check "task --help exits 0" test $rc -eq 0
check "task --help shows the usage" grep -q '^Usage: kestrow-cli task add NAME' <<<"$out"
out=$("$cli" task add --help); rc=$?
check "task add --help exits 0" test $rc -eq 0 -a -n "$out"

# The options of kestrow.ini count: CreateTargetFolder makes a missing Target, as the
# dialog makes it; the categories are the ones it names.
printf '[Miscellaneous]\nCreateTargetFolder=True\nCategories=Nightly,Offsite\n' > "$KESTROW_HOME/kestrow.ini"
"$cli" task add Made --source "$src" --target "$scratch/made/deeper" --category NIGHTLY; rc=$?
check "a missing Target with CreateTargetFolder on: exits 0" test $rc -eq 0
check "a missing Target with CreateTargetFolder on is made" test -d "$scratch/made/deeper"
same "the category of kestrow.ini" Nightly "$(key Made Category)"
err=$("$cli" task edit Made --category Work 2>&1 >/dev/null); rc=$?
check "a category kestrow.ini lacks is bad usage" test $rc -eq 2
same "the categories are named" "kestrow-cli task edit: unknown category 'Work' (Unfiled, Nightly, Offsite)" "$(head -1 <<<"$err")"
rm "$KESTROW_HOME/kestrow.ini"

# remove: the section and the include file gone, the other tasks kept.
"$cli" task remove "mirror two"; rc=$?
check "remove exits 0" test $rc -eq 0
check "the section is gone" test -z "$(section "Mirror Two")"
check "the include file is gone" test ! -e "$KESTROW_HOME/Mirror Two.kwi"
same "the other task stays" "$src/" "$(key "Weekly Docs" SourceFolderSpec)"

# A list named on the command line; a hand-written section is shown as written.
hand=$scratch/hand.kwt
printf '[Hand]\r\nSourceFolderSpec=%s\r\nTargetFolderSpec=%s\r\nIntervalType=2\r\nIntervalIncrement=6\r\n' "$src" "$t1" > "$hand"
out=$("$cli" task show hand --task-list "$hand")
same "show of a hand-written section prints its keys only" "$(section Hand "$hand")" "$out"
"$cli" task add Second --source "$src" --target "$t2" --task-list "$hand"; rc=$?
check "add to a named list exits 0" test $rc -eq 0
same "the named list has the task" "$t2/" "$(key Second TargetFolderSpec "$hand")"
check "the default list does not" test -z "$(section Second)"
same "the hand-written section is kept as it was" \
    "$(printf '[Hand]\nSourceFolderSpec=%s\nTargetFolderSpec=%s\nIntervalType=2\nIntervalIncrement=6' "$src" "$t1")" \
    "$(section Hand "$hand")"
check "no lock file is left beside the list" test ! -e "$scratch/.hand.kwt.lock"

exit $((failures > 0))
