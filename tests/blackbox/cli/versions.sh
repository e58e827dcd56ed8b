#!/usr/bin/env bash
# kestrow-cli versions: list, show and restore the old versions of a Target, on
# moment trees made by hand and by real `clone --versions` runs.
. "$(dirname "${BASH_SOURCE[0]}")/scratch_home.sh"
export TZ=UTC

# What a tree holds, to the mode and the nanosecond: a change anywhere shows.
snap() { find "$1" -printf '%P %y %m %s %T@\n' 2>/dev/null | sort; }
# The same mode, modification time and bytes.
same_file() { test "$(stat -c '%a %Y' "$1")" = "$(stat -c '%a %Y' "$2")" && cmp -s "$1" "$2"; }
# Every file of tree $1 the same in tree $2, and the same names on both sides.
same_tree() {
    diff <(cd "$1" && find . -printf '%P %y\n' | sort) <(cd "$2" && find . -printf '%P %y\n' | sort) >/dev/null &&
        (cd "$1" && find . -type f -print0) | while IFS= read -r -d '' f; do
            same_file "$1/$f" "$2/$f" || exit 1
        done
}

# --- Usage -----------------------------------------------------------------------------------
out=$("$cli" versions --help); rc=$?
check "versions --help exits 0" test $rc -eq 0
check "versions --help shows the three forms" \
    test "$(grep -c '^ *\(Usage:\)\? *kestrow-cli versions \(list\|show\|restore\) TARGET' <<<"$out")" -eq 3
check "versions restore --help is the same help" test "$("$cli" versions restore --help)" = "$out"
check "the top-level help lists versions" grep -q '^  versions list|show|restore TARGET' <<<"$("$cli" --help)"
while IFS='|' read -r name message args; do
    read -ra argv <<<"$args"
    err=$("$cli" versions "${argv[@]}" 2>&1 >/dev/null); rc=$?
    check "usage: $name is bad usage (2)" test $rc -eq 2
    check "usage: $name says so" grep -qxF -- "kestrow-cli versions: $message" <<<"$err"
done <<'ROWS'
no sub-command|list, show or restore is needed|
an unknown sub-command|unknown sub-command 'prune' (use list, show or restore)|prune x
list without TARGET|list needs a TARGET|list
show without MOMENT|show needs a TARGET and a MOMENT|show /tmp
show with an extra argument|unexpected argument 'extra'|show /tmp m extra
a restore option on list|unknown option '--to'|list /tmp --to /tmp
--to without a folder|--to needs a folder|restore /tmp m --to
ROWS
err=$("$cli" versions list "" 2>&1); rc=$?
check "usage: an empty TARGET is bad usage (2)" test $rc -eq 2
check "usage: an empty TARGET is named" grep -qx 'kestrow-cli versions: the TARGET is empty' <<<"$err"

# --- Moments made by hand --------------------------------------------------------------------
hand=$scratch/hand vroot=$scratch/hand/.kestrow-versions
mkdir -p "$vroot/2026-12-09 181502/docs/deep" "$vroot/2026-12-09 181502/emptied" \
    "$vroot/2026-12-09 181502 10" "$vroot/2026-12-09 181502 2" "$vroot/2025-01-31 235959" \
    "$vroot/not a moment" "$vroot/2026-02-31 120000"
printf 'alpha' > "$vroot/2026-12-09 181502/docs/a.txt"
printf '1234567' > "$vroot/2026-12-09 181502/docs/deep/b.bin"
printf 'lf' > "$vroot/2026-12-09 181502 2/"$'line\nfeed.txt'
printf 'bs' > "$vroot/2026-12-09 181502 2/back\\slash.txt"
printf 'ten' > "$vroot/2026-12-09 181502 10/t.txt"
printf 'old' > "$vroot/2025-01-31 235959/o.txt"
: > "$vroot/2026-12-10 000000" # a file, not a moment
touch -h -d '2024-03-05 06:07:08' "$vroot/2026-12-09 181502/docs/a.txt" "$vroot/2026-12-09 181502/docs" \
    "$vroot/2026-12-09 181502/docs/deep/b.bin" "$vroot/2026-12-09 181502/docs/deep" \
    "$vroot/2026-12-09 181502/emptied"

out=$("$cli" versions list "$hand"); rc=$?
check "list exits 0" test $rc -eq 0
check "list: the moments, oldest first, a same-second run after its first, 10 after 2" test "$out" = \
"$(printf '%s\n' '2025-01-31 235959     1 item    3 bytes' \
                 '2026-12-09 181502     3 items  12 bytes' \
                 '2026-12-09 181502 2   2 items   4 bytes' \
                 '2026-12-09 181502 10  1 item    3 bytes')"
check "list: a script splits its columns at two spaces" \
    test "$(awk -F '  +' '$1 == "2026-12-09 181502 2" { print $2 "|" $3 }' <<<"$out")" = '2 items|4 bytes'

out=$("$cli" versions show "$hand" "2026-12-09 181502"); rc=$?
check "show exits 0" test $rc -eq 0
check "show: size, time, path; a folder before its contents; an empty folder kept" test "$out" = \
"$(printf '%s\n' '-  2024-03-05 06:07:08  docs/' \
                 '5  2024-03-05 06:07:08  docs/a.txt' \
                 '-  2024-03-05 06:07:08  docs/deep/' \
                 '7  2024-03-05 06:07:08  docs/deep/b.bin' \
                 "-  $(date -r "$vroot/2026-12-09 181502/emptied" '+%Y-%m-%d %H:%M:%S')  emptied/")"
out=$("$cli" versions show "$hand" "2026-12-09 181502 2")
check "show: a line feed and a backslash in names as in log lines, one line each" test "$out" = \
"$(printf '%s\n' "2  $(date -r "$vroot/2026-12-09 181502 2/back\\slash.txt" '+%Y-%m-%d %H:%M:%S')  back\\\\slash.txt" \
                 "2  $(date -r "$vroot/2026-12-09 181502 2/"$'line\nfeed.txt' '+%Y-%m-%d %H:%M:%S')  line\\nfeed.txt")"

for moment in "2026-12-09 999999" "not a moment" "2026-02-31 120000" "2026-12-10 000000"; do
    err=$("$cli" versions show "$hand" "$moment" 2>&1 >/dev/null); rc=$?
    check "show of '$moment' fails (1)" test $rc -eq 1
    check "show of '$moment' names it" \
        grep -qxF "kestrow-cli versions: no moment '$moment' in the old versions of $hand" <<<"$err"
done

mkdir -p "$scratch/bare"
out=$("$cli" versions list "$scratch/bare" 2>"$scratch/err"); rc=$?
check "list without versions exits 0" test $rc -eq 0
check "list without versions prints nothing on stdout" test -z "$out"
check "list without versions says so on stderr" test "$(cat "$scratch/err")" = "No old versions of $scratch/bare."
printf 'x' > "$scratch/a-file"
for target in "$scratch/a-file" "$scratch/no-such-folder"; do
    err=$("$cli" versions list "$target" 2>&1 >/dev/null); rc=$?
    check "list of ${target##*/} fails (1)" test $rc -eq 1
    check "list of ${target##*/}: one line naming it" test "$err" = "kestrow-cli versions: $target is not a folder"
done

# Restores from the hand-made moments, into folders named with --to.
out_dir=$scratch/restored
"$cli" versions restore "$hand" "2026-12-09 181502" docs/a.txt --to "$out_dir/one" -q >/dev/null 2>&1; rc=$?
check "restore of one item exits 0" test $rc -eq 0
check "restore of one item: that file alone, at its path, byte for byte with mode and time" \
    eval 'same_file "$vroot/2026-12-09 181502/docs/a.txt" "$out_dir/one/docs/a.txt" &&
          test "$(cd "$out_dir/one" && find . -type f)" = ./docs/a.txt'
"$cli" versions restore "$hand" "2026-12-09 181502" docs --to "$out_dir/folder" -q >/dev/null 2>&1; rc=$?
check "restore of a folder named without its slash exits 0" test $rc -eq 0
check "restore of a folder brings its whole subtree" \
    same_tree "$vroot/2026-12-09 181502/docs" "$out_dir/folder/docs"
"$cli" versions restore "$hand" "2026-12-09 181502 2" 'line\nfeed.txt' 'back\\slash.txt' \
    --to "$out_dir/printed" -q >/dev/null 2>&1; rc=$?
check "restore of items as show prints them exits 0" test $rc -eq 0
check "restore of items as show prints them brings the real names" \
    eval 'cmp -s "$out_dir/printed/"$'"'"'line\nfeed.txt'"'"' "$vroot/2026-12-09 181502 2/"$'"'"'line\nfeed.txt'"'"' &&
          cmp -s "$out_dir/printed/back\\slash.txt" "$vroot/2026-12-09 181502 2/back\\slash.txt"'
"$cli" versions restore "$hand" "2026-12-09 181502 2" $'line\nfeed.txt' --to "$out_dir/raw" -q >/dev/null 2>&1; rc=$?
check "restore of an item by its real name exits 0" test $rc -eq 0
check "restore of an item by its real name brings it" test -f "$out_dir/raw/"$'line\nfeed.txt'

# An ITEM not in the moment: nothing is restored, not even the items that are.
for item in missing.txt docs/a.txt/ "2026-12-09 181502/docs/a.txt"; do
    err=$("$cli" versions restore "$hand" "2026-12-09 181502" docs/a.txt "$item" --to "$out_dir/none" 2>&1); rc=$?
    check "restore with unknown item '$item' fails (1)" test $rc -eq 1
    check "restore with unknown item '$item' names it" \
        grep -qxF "kestrow-cli versions: no item '$item' in moment '2026-12-09 181502'" <<<"$err"
    check "restore with unknown item '$item' restores nothing" test ! -e "$out_dir/none"
done
err=$("$cli" versions restore "$hand" "2026-12-09 999999" --to "$out_dir/none" 2>&1); rc=$?
check "restore of an unknown moment fails (1)" test $rc -eq 1
check "restore of an unknown moment names it" grep -q "no moment '2026-12-09 999999'" <<<"$err"
check "restore of an unknown moment creates nothing" test ! -e "$out_dir/none"

# Hidden and special items come back although the skip options (on by default) pass them over.
hidden="$vroot/2026-12-11 101010"
mkdir -p "$hidden/.config"
printf 'rc' > "$hidden/.bashrc"
printf 'conf' > "$hidden/.config/app.ini"
mkfifo "$hidden/pipe"
"$cli" versions restore "$hand" "2026-12-11 101010" --to "$out_dir/hidden" -q >/dev/null 2>&1; rc=$?
check "restore of hidden and special items exits 0" test $rc -eq 0
check "restore brings hidden files, hidden folders and a FIFO" test "$(cd "$out_dir/hidden" && find . -printf '%P %y\n' | sort)" = \
    "$(printf '%s\n' ' d' '.bashrc f' '.config d' '.config/app.ini f' 'pipe p')"

# A destination that is a file: the restore's own refusal, exit 1.
err=$("$cli" versions restore "$hand" "2026-12-09 181502" --to "$scratch/a-file" 2>&1); rc=$?
check "restore into a file fails (1)" test $rc -eq 1
check "restore into a file says why" grep -q 'Unable to create the missing source folder.' <<<"$err"
check "restore into a file leaves it" test "$(cat "$scratch/a-file")" = x

# --- Real moments: runs with --versions ------------------------------------------------------
src=$scratch/src dst=$scratch/dst
mkdir -p "$src/sub/deeper" "$dst"
printf 'version one' > "$src/a.txt"
printf 'bee' > "$src/sub/b.txt"
printf 'sea' > "$src/sub/deeper/c.txt"
printf 'weird' > "$src/"$'odd\nname.txt'
chmod 640 "$src/a.txt"
chmod 600 "$src/sub/deeper/c.txt"
touch -d '2021-06-07 08:09:10' "$src/a.txt" "$src/sub/b.txt" "$src/sub/deeper/c.txt"
"$cli" clone "$src" "$dst" -q >/dev/null 2>&1
cp -a "$dst" "$scratch/dst-as-first-cloned"
# Run 2 replaces a.txt and the odd name and deletes sub/; run 3 replaces a.txt again.
printf 'version two!' > "$src/a.txt"
printf 'changed' > "$src/"$'odd\nname.txt'
rm -r "$src/sub"
"$cli" clone "$src" "$dst" --versions --delete regular -q >/dev/null 2>&1; rc2=$?
printf 'version three' > "$src/a.txt"
"$cli" clone "$src" "$dst" --versions -q >/dev/null 2>&1; rc3=$?
check "runs with --versions exit 0" test $rc2 -eq 0 -a $rc3 -eq 0

out=$("$cli" versions list "$dst")
mapfile -t moments < <(awk -F '  +' '{ print $1 }' <<<"$out")
check "list: one moment per run that kept something" test ${#moments[@]} -eq 2
first=${moments[0]} second=${moments[1]:-}
check "list: the first run's moment first: a.txt, the odd name and sub/'s two files" \
    grep -qE "^$first +4 items +$((11 + 5 + 3 + 3)) bytes$" <<<"$out"
check "list: the second run's moment holds its a.txt" grep -qE "^$second +1 item +12 bytes$" <<<"$out"
out=$("$cli" versions show "$dst" "$first")
check "show: a real moment's items, the odd name on one line" test "$(awk -F '  ' '{ print $NF }' <<<"$out")" = \
    "$(printf '%s\n' a.txt 'odd\nname.txt' sub/ sub/b.txt sub/deeper/ sub/deeper/c.txt)"
check "show: a kept file keeps its time" grep -qx ' *11  2021-06-07 08:09:10  a.txt' <<<"$out"

list_before=$("$cli" versions list "$dst")
"$cli" versions restore "$dst" "$first" a.txt --to "$scratch/r-one" -q >/dev/null 2>&1; rc=$?
check "restore of one real item exits 0" test $rc -eq 0
check "restore of one real item: byte-exact, mode and time as first cloned" \
    same_file "$scratch/dst-as-first-cloned/a.txt" "$scratch/r-one/a.txt"
check "restore of one real item brings nothing else" test "$(ls -A "$scratch/r-one")" = a.txt
"$cli" versions restore "$dst" "$first" --to "$scratch/r-all" -q >/dev/null 2>&1; rc=$?
check "restore of a whole real moment exits 0" test $rc -eq 0
check "restore of a whole moment gives back what the run replaced and deleted, byte-exact" \
    same_tree "$scratch/dst-as-first-cloned" "$scratch/r-all"
check "restore keeps the versions" test "$("$cli" versions list "$dst")" = "$list_before"
check "restore keeps the moment's files" test -f "$dst/.kestrow-versions/$first/sub/deeper/c.txt"

# --- The Source of the task that has the Target ----------------------------------------------
tlist=$scratch/lists/versions.kwt
mkdir -p "$scratch/lists"
printf '[Docs]\r\nSourceFolderSpec=%s\r\nTargetFolderSpec=%s<:>%s\r\n' "$src" "$scratch/elsewhere" "$dst" > "$tlist"
printf 'edited later' > "$src/only-in-source.txt"
before=$(snap "$src")
out=$("$cli" versions restore "$dst" "$first" --dry-run --task-list "$tlist" 2>"$scratch/err"); rc=$?
check "dry run exits 0" test $rc -eq 0
check "dry run changes nothing" test "$(snap "$src")" = "$before"
check "dry run prints the plan of the task's Source" \
    grep -qx "Planned for $src/: 6 operations" <<<"$out"
check "dry run lists the copy as clone --dry-run does" \
    grep -qxF "     COPY FILE     \"a.txt\"  FROM  $dst/.kestrow-versions/$first/  TO  $src/" <<<"$out"
check "dry run plans no deletion" test -z "$(grep DELETE <<<"$out")"
check "dry run does not say the restore was done" test -z "$(grep 'Restore successfully completed' "$scratch/err")"

# A Target spelled otherwise is the same Target.
(cd "$scratch" && "$cli" versions restore "./dst/../dst" "$first" a.txt --task-list "$tlist" >"$scratch/out" 2>"$scratch/err"); rc=$?
check "restore into the task's Source exits 0" test $rc -eq 0
check "restore into the task's Source brings the old a.txt back over the newer one" \
    same_file "$scratch/dst-as-first-cloned/a.txt" "$src/a.txt"
check "restore into the task's Source deletes nothing there" test "$(cat "$src/only-in-source.txt")" = 'edited later'
check "restore runs under the task's name" grep -q '<Begin: RESTORE SOURCE: Docs>' "$scratch/out"
check "restore says it is done" grep -qx 'Restore successfully completed.' "$scratch/err"
check "restore is in clone.log" grep -q '<End: RESTORE SOURCE: Docs>' "$KESTROW_HOME/clone.log"

err=$("$cli" versions restore "$hand" "2026-12-09 181502" --task-list "$tlist" 2>&1); rc=$?
check "restore for a Target no task has is bad usage (2)" test $rc -eq 2
check "restore for a Target no task has says --to is needed" \
    grep -qxF "kestrow-cli versions: no task of $tlist has $hand as a Target: --to DIR is needed" <<<"$err"
printf '[Other]\r\nSourceFolderSpec=%s\r\nTargetFolderSpec=%s\r\n' "$scratch/bare" "$dst" >> "$tlist"
before=$(snap "$src")
err=$("$cli" versions restore "$dst" "$first" --task-list "$tlist" 2>&1); rc=$?
check "restore for a Target of tasks with two Sources is bad usage (2)" test $rc -eq 2
check "restore for a Target of tasks with two Sources names both" \
    grep -qF "is a Target of tasks with different Sources ($src/, $scratch/bare/): --to DIR is needed" <<<"$err"
check "restore for a Target of tasks with two Sources restores nothing" test "$(snap "$src")" = "$before"
"$cli" versions restore "$dst" "$first" --task-list "$scratch/lists/none.kwt" >/dev/null 2>&1; rc=$?
check "restore with a missing task list is bad usage (2)" test $rc -eq 2

# --dry-run into a folder that does not exist: planned, not made.
out=$("$cli" versions restore "$dst" "$first" --to "$scratch/new/deeper" --dry-run 2>/dev/null); rc=$?
check "dry run of a moment into a missing folder exits 0" test $rc -eq 0
check "dry run of a moment into a missing folder plans it first" \
    test "$(sed -n '/^Planned for /,$p' <<<"$out" | sed -n 2p)" = "     CREATE FOLDER     $scratch/new/deeper/"
out=$("$cli" versions restore "$dst" "$first" sub --to "$scratch/new/deeper" --dry-run 2>/dev/null); rc=$?
check "dry run of an item into a missing folder exits 0" test $rc -eq 0
check "dry run of an item into a missing folder plans its copies there" \
    grep -qxF "     COPY FILE     \"c.txt\"  FROM  $dst/.kestrow-versions/$first/sub/deeper/  TO  $scratch/new/deeper/sub/deeper/" <<<"$out"
check "dry runs into a missing folder create nothing" test ! -e "$scratch/new"

# KeepVersions of kestrow.ini is for clones: the restore replaces without keeping.
printf '[Miscellaneous]\nKeepVersions=True\n' > "$KESTROW_HOME/kestrow.ini"
mkdir -p "$scratch/into"
printf 'current' > "$scratch/into/a.txt"
"$cli" versions restore "$dst" "$first" a.txt --to "$scratch/into" -q >/dev/null 2>&1; rc=$?
check "restore with KeepVersions on exits 0" test $rc -eq 0
check "restore with KeepVersions on replaces the file" same_file "$scratch/dst-as-first-cloned/a.txt" "$scratch/into/a.txt"
check "restore keeps no versions of what it replaced" test ! -e "$scratch/into/.kestrow-versions"
rm "$KESTROW_HOME/kestrow.ini"

# SIGHUP (the terminal gone) cancels a restore as Ctrl+C does.
many="$scratch/many/.kestrow-versions/2026-12-09 000000"
mkdir -p "$many"
(cd "$many" && for i in $(seq 1 20000); do : > "e$i"; done)
"$cli" versions restore "$scratch/many" "2026-12-09 000000" --to "$scratch/many-out" -q >/dev/null 2>&1 &
pid=$!
# Once copying has begun (the first copies are in), the hang-up comes.
for _ in $(seq 1 500); do
    [ -n "$(find "$scratch/many-out" -maxdepth 1 -name 'e*' -print -quit 2>/dev/null)" ] && break
    sleep 0.01
done
kill -HUP "$pid"; wait "$pid"; rc=$?
check "SIGHUP cancels the restore (3)" test $rc -eq 3
check "a cancelled restore stops before the end" test "$(find "$scratch/many-out" -type f | wc -l)" -lt 20000

# --- A versions folder of one's own -----------------------------------------------------------
vsrc=$scratch/vsrc vdst=$scratch/vdst vfolder=$scratch/all-versions
mkdir -p "$vsrc" "$vdst" "$vfolder"
printf 'first' > "$vsrc/f.txt"
"$cli" clone "$vsrc" "$vdst" -q >/dev/null 2>&1
printf 'second' > "$vsrc/f.txt"
"$cli" clone "$vsrc" "$vdst" --versions --versions-folder "$vfolder" -q >/dev/null 2>&1
check "the run kept its versions in the chosen folder" test ! -e "$vdst/.kestrow-versions"
"$cli" versions list "$vdst" >/dev/null 2>"$scratch/err"
check "without --versions-folder there are none in the Target" \
    test "$(cat "$scratch/err")" = "No old versions of $vdst."
out=$("$cli" versions list "$vdst" --versions-folder "$vfolder"); rc=$?
check "list --versions-folder exits 0" test $rc -eq 0
check "list --versions-folder finds the moment" grep -qE '^[0-9-]+ [0-9]{6}  1 item +5 bytes$' <<<"$out"
vmoment=$(awk -F '  +' '{ print $1 }' <<<"$out")
printf '[Miscellaneous]\nVersionsFolder=%s\n' "$vfolder" > "$KESTROW_HOME/kestrow.ini"
check "kestrow.ini's VersionsFolder is the default" test "$("$cli" versions list "$vdst")" = "$out"
rm "$KESTROW_HOME/kestrow.ini"
check "show --versions-folder lists the item" \
    grep -q '  f.txt$' <<<"$("$cli" versions show "$vdst" "$vmoment" --versions-folder "$vfolder")"
# Versions kept apart outlive their Target.
mv "$vdst" "$scratch/vdst-moved"
"$cli" versions restore "$vdst" "$vmoment" --versions-folder "$vfolder" --to "$scratch/v-out" -q >/dev/null 2>&1; rc=$?
check "restore from a versions folder whose Target is gone exits 0" test $rc -eq 0
check "restore from a versions folder brings the file" test "$(cat "$scratch/v-out/f.txt")" = first
err=$("$cli" versions list "$vdst" 2>&1); rc=$?
check "a gone Target with its versions in it is no folder (1)" test $rc -eq 1

exit $((failures > 0))
