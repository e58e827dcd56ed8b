#!/usr/bin/env bash
# Runs kestrow-cli as a user would, in a scratch home.
. "$(dirname "${BASH_SOURCE[0]}")/scratch_home.sh"

out=$("$cli" --version); rc=$?
check "version exits 0" test $rc -eq 0
check "version names the program" grep -q '^kestrow-cli [0-9]' <<<"$out"

out=$("$cli" --help); rc=$?
check "help exits 0" test $rc -eq 0
check "help shows usage" grep -q '^Usage: kestrow-cli' <<<"$out"

"$cli" >/dev/null 2>&1; rc=$?
check "no command is bad usage (2)" test $rc -eq 2

err=$("$cli" no-such-command 2>&1 >/dev/null); rc=$?
check "unknown command is bad usage (2)" test $rc -eq 2
check "unknown command is named" grep -q "unknown command 'no-such-command'" <<<"$err"

# Without its library beside it the program stops with the loading error.
mkdir -p "$scratch/lonely"
cp "$cli" "$scratch/lonely/kestrow-cli"
err=$("$scratch/lonely/kestrow-cli" no-such-command 2>&1 >/dev/null); rc=$?
check "missing library stops start-up" test $rc -eq 1
check "missing library is named" grep -q 'Error loading DLL - libzelcommon.so' <<<"$err"
check "reported under modKestrow.Main" grep -q 'Unexpected Error in modKestrow.Main' <<<"$err"

cp "$(dirname "$cli")/libzelcommon.so" "$scratch/lonely/"
err=$("$scratch/lonely/kestrow-cli" no-such-command 2>&1 >/dev/null)
check "missing lumbrel is named" grep -q 'Error loading DLL - liblumbrel.so' <<<"$err"

# A one-off clone of a small tree.
src=$scratch/src dst=$scratch/dst
mkdir -p "$src/sub/deeper" "$src/empty" "$dst/orphan-folder"
printf 'one' > "$src/a.txt"
printf 'two' > "$src/sub/b with space.txt"
printf 'three' > "$src/sub/deeper/c.txt"
ln -s a.txt "$src/link-to-a"
printf 'old' > "$dst/orphan.txt"
printf 'x' > "$dst/orphan-folder/x.txt"

out=$("$cli" clone "$src" "$dst" --dry-run -q); rc=$?
check "dry run exits 0" test $rc -eq 0
check "dry run lists a copy" grep -q '     COPY FILE     "a.txt"  FROM  '"$src"'/  TO  '"$dst"'/' <<<"$out"
check "dry run lists a deletion" grep -q 'DELETE FILE     "orphan.txt"' <<<"$out"
check "dry run changes nothing" test ! -e "$dst/a.txt" -a -e "$dst/orphan.txt"

out=$("$cli" clone "$src" "$dst" --delete regular -q); rc=$?
check "clone exits 0" test $rc -eq 0
check "clone prints its begin line" grep -q '<Begin: Command Line Clone>' <<<"$out"
check "clone prints copied lines" grep -q ' - Copied: a.txt from '"$src"'/ to '"$dst"'/' <<<"$out"
check "trees are identical" diff -r --no-dereference "$src" "$dst"
check "link cloned as a link" test "$(readlink "$dst/link-to-a")" = a.txt
check "orphans removed" test ! -e "$dst/orphan.txt" -a ! -e "$dst/orphan-folder"
check "clone.log written" grep -q '<End: Command Line Clone>' "$KESTROW_HOME/clone.log"

out=$("$cli" clone "$src" "$dst" --dry-run -q)
check "second run plans nothing" grep -q 'Planned for '"$dst"'/: 0 operations' <<<"$out"

err=$("$cli" clone "$src" 2>&1); rc=$?
check "missing target is bad usage" test $rc -eq 2
check "bad usage says what is wrong" grep -q 'needs a SOURCE and at least one TARGET' <<<"$err"
err=$("$cli" clone "$src" "$dst" --compare fast 2>&1); rc=$?
check "bad option value is bad usage" test $rc -eq 2
check "bad value is named" grep -q "invalid value 'fast' for --compare" <<<"$err"

# The usage errors the commands share, word for word, each followed by its command's usage.
err=$("$cli" clone "$src" "$dst" --compare 2>&1); rc=$?
check "an option without its value is bad usage" test $rc -eq 2
check "the option without a value is named" grep -qx 'kestrow-cli clone: option --compare needs a value' <<<"$err"
check "the command's usage follows" grep -q '^Usage: kestrow-cli clone SOURCE TARGET' <<<"$err"
err=$("$cli" clone "$src" "$dst" --bogus 2>&1)
check "an unknown option is named" grep -qx "kestrow-cli clone: unknown option '--bogus'" <<<"$err"
err=$("$cli" list extra 2>&1); rc=$?
check "list takes no names" test $rc -eq 2
check "the unexpected argument is named" grep -qx "kestrow-cli list: unexpected argument 'extra'" <<<"$err"
err=$("$cli" list - 2>&1)
check "a lone dash is an argument, not an option" grep -qx "kestrow-cli list: unexpected argument '-'" <<<"$err"
err=$("$cli" run --category 2>&1)
check "run names its option without a value" grep -qx 'kestrow-cli run: option --category needs a value' <<<"$err"
err=$("$cli" report "$src" "$dst" -o "" 2>&1); rc=$?
check "an empty report file name is bad usage" test $rc -eq 2
check "the report option is named" grep -qx 'kestrow-cli report: option -o needs a file name' <<<"$err"
err=$("$cli" daemon --task-list 2>&1); rc=$?
check "daemon without a task list name is bad usage" test $rc -eq 2
check "the daemon says what it needs" grep -qx 'kestrow-cli daemon: --task-list needs a file name' <<<"$err"

"$cli" clone "$scratch/no-such-source" "$dst" -q >/dev/null 2>&1; rc=$?
check "missing source is a run error" test $rc -eq 1
"$cli" clone "$src" "$scratch/new-target" -q >/dev/null 2>&1; rc=$?
check "missing target without --create-target fails" test $rc -eq 1
"$cli" clone "$src" "$scratch/new-target" --create-target -q >/dev/null 2>&1; rc=$?
check "--create-target creates it" test $rc -eq 0 -a -f "$scratch/new-target/sub/deeper/c.txt"

# Saved tasks: a task list written by hand, listed and run.
tsrc=$scratch/task-src tdst=$scratch/task-dst tlist=$scratch/lists/hand.kwt
mkdir -p "$tsrc/inner" "$tdst" "$scratch/lists"
printf 'doc' > "$tsrc/doc.txt"
printf 'deep' > "$tsrc/inner/deep.txt"
printf '[Docs Backup]\r\nSourceFolderSpec=%s\r\nTargetFolderSpec=%s\r\nIntervalType=2\r\nIntervalIncrement=6\r\nCategory=Work\r\n\r\n[Broken Target]\r\nSourceFolderSpec=%s\r\nTargetFolderSpec=%s\r\n' \
    "$tsrc" "$tdst" "$tsrc" "$scratch/no-such-target" > "$tlist"

out=$("$cli" list --task-list "$tlist"); rc=$?
check "list exits 0" test $rc -eq 0
check "list names both tasks" grep -q '^Docs Backup$' <<<"$out"
check "list shows the category" grep -q 'Category:  Work' <<<"$out"
check "list shows a manual task" grep -q 'Next run:  Manual' <<<"$out"
check "list shows a task never run" grep -q 'Last run:  never' <<<"$out"

out=$(TZ=UTC "$cli" run "docs backup" --task-list "$tlist" -q); rc=$?
check "run of a named task exits 0" test $rc -eq 0
check "run prints the task's begin line" grep -q '<Begin: Docs Backup>' <<<"$out"
check "run cloned the Source" diff -r "$tsrc" "$tdst"
check "run did not run the other task" test -z "$(grep 'Broken Target' <<<"$out")"
last=$(sed -n 's/^LastCloneDateTime=//p' "$tlist" | head -1 | tr -d '\r')
next=$(sed -n 's/^NextCloneDateTime=//p' "$tlist" | head -1 | tr -d '\r')
check "the file shows the run time" grep -Eq '^4[0-9]{4}\.[0-9]+$' <<<"$last"
check "the next run is six hours later" awk -v l="$last" -v n="$next" 'BEGIN { d = (n - l) * 24; exit !(d > 5.99 && d < 6.01) }'
check "the error flag is clear" grep -q '^ErrorOnLastClone=False' "$tlist"
check "the hand-written keys stay first" test "$(grep -m1 -n 'IntervalType=2' "$tlist" | cut -d: -f1)" -eq 4
out=$("$cli" list --task-list "$tlist")
check "list shows the run" test -z "$(sed -n '/^Docs Backup$/,/^$/p' <<<"$out" | grep 'Last run:  never')"

"$cli" run --all --task-list "$tlist" -q >/dev/null 2>&1; rc=$?
check "run with an unusable Target exits 1" test $rc -eq 1
check "its error flag is saved" test "$(sed -n '/^\[Broken Target\]/,$p' "$tlist" | grep -c '^ErrorOnLastClone=True')" -eq 1

out=$("$cli" run --category work --task-list "$tlist" -q); rc=$?
check "run of a category exits 0" test $rc -eq 0
check "run of a category runs only its tasks" test -z "$(grep 'Broken Target' <<<"$out")"

err=$("$cli" run "No Such Task" --task-list "$tlist" 2>&1); rc=$?
check "run of an unknown task is bad usage" test $rc -eq 2
check "the unknown task is named" grep -q "no task named 'No Such Task'" <<<"$err"
"$cli" run --task-list "$tlist" >/dev/null 2>&1; rc=$?
check "run without a choice is bad usage" test $rc -eq 2
"$cli" list --task-list "$scratch/lists/none.kwt" >/dev/null 2>&1; rc=$?
check "list of a missing file is bad usage" test $rc -eq 2

# The list kestrow.ini names is the default; a DO NOT RUN rule keeps the error flag clear.
printf 'fresh' > "$tsrc/fresh.txt"
sed -i '0,/^ErrorOnLastClone=False/s//ErrorOnLastClone=True/' "$tlist"
printf '[TaskList]\nTaskListFileSpec=%s\n[Priority Rules]\nNumRules=1\nPriorityRule1=12:00:00 AM,11:59:00 PM,0\n' \
    "$tlist" > "$KESTROW_HOME/kestrow.ini"
out=$("$cli" run "Docs Backup" -q); rc=$?
check "a DO NOT RUN rule exits 0" test $rc -eq 0
check "a DO NOT RUN rule is logged" grep -q 'Priority Rule for this time is set to DO NOT RUN' <<<"$out"
check "a DO NOT RUN rule copies nothing" test ! -e "$tdst/fresh.txt"
check "a DO NOT RUN rule leaves the error flag clear" \
    test "$(sed -n '/^\[Docs Backup\]/,/^\[Broken/p' "$tlist" | grep -c '^ErrorOnLastClone=False')" -eq 1
rm "$KESTROW_HOME/kestrow.ini"

out=$("$cli" list); rc=$?
check "list without a named list exits 0" test $rc -eq 0
check "the default list is in the data folder" test -f "$KESTROW_HOME/Default Task List.kwt"
check "list names the default list" grep -q "^Task list: $KESTROW_HOME/Default Task List.kwt (0 tasks)" <<<"$out"

# A reader of stdout that goes away does not stop a run.
psrc=$scratch/pipe-src pdst=$scratch/pipe-dst
mkdir -p "$psrc" "$pdst"
for i in $(seq 1 3000); do printf '%s' "$i" > "$psrc/f$i"; done
: > "$KESTROW_HOME/clone.log"
"$cli" clone "$psrc" "$pdst" | head -2 >/dev/null
rc=${PIPESTATUS[0]}
check "a closed stdout still ends the clone with 0" test "$rc" -eq 0
check "a closed stdout still copies every file" test "$(find "$pdst" -type f | wc -l)" -eq 3000
check "a closed stdout still logs every copy" test "$(grep -c ' - Copied: ' "$KESTROW_HOME/clone.log")" -eq 3000
check "a closed stdout still logs the end" grep -q '<End: Command Line Clone>' "$KESTROW_HOME/clone.log"

# SIGHUP (the terminal gone) cancels a clone as Ctrl+C does.
hsrc=$scratch/hup-src hdst=$scratch/hup-dst
mkdir -p "$hsrc" "$hdst"
for i in $(seq 1 20000); do : > "$hsrc/e$i"; done
"$cli" clone "$hsrc" "$hdst" -q >/dev/null 2>&1 &
pid=$!
# Once copying has begun (the first copies are in), the hang-up comes.
for _ in $(seq 1 500); do
    [ -n "$(find "$hdst" -maxdepth 1 -name 'e*' -print -quit 2>/dev/null)" ] && break
    sleep 0.01
done
kill -HUP "$pid"; wait "$pid"; rc=$?
check "SIGHUP cancels the clone (3)" test $rc -eq 3
check "a cancelled clone stops before the end" test "$(find "$hdst" -type f | wc -l)" -lt 20000

# An empty folder argument (an unset variable) is bad usage, not a folder.
err=$("$cli" clone "$src" "" 2>&1 >/dev/null); rc=$?
check "an empty TARGET is bad usage (2)" test $rc -eq 2
check "an empty TARGET is named" grep -q 'clone: TARGET 1 is empty' <<<"$err"
err=$("$cli" clone "" "$dst" 2>&1 >/dev/null); rc=$?
check "an empty SOURCE is bad usage (2)" test $rc -eq 2
check "an empty SOURCE is named" grep -q 'clone: the SOURCE is empty' <<<"$err"
err=$("$cli" report "$src" "" -o "$scratch/r.html" 2>&1 >/dev/null); rc=$?
check "report with an empty TARGET is bad usage (2)" test $rc -eq 2
check "report writes nothing for an empty TARGET" test ! -e "$scratch/r.html"

exit $((failures > 0))
