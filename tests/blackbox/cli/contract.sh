#!/usr/bin/env bash
# What a clone and a report promise, checked against the real kestrow-cli in a
# scratch home: a dry run changes nothing, expected failures are one line, roots
# are shown absolute, a root is never skipped by its own attributes, the empty-
# Source guard sees what an unmounted disk leaves, a dry run counts what it will
# do, and no name forges a line.
. "$(dirname "${BASH_SOURCE[0]}")/scratch_home.sh"
log=$KESTROW_HOME/clone.log
cd "$scratch" || exit 1

# --- A dry run changes nothing; a Target it may create is planned as a creation.
mkdir -p src/sub
printf 'one' > src/a.txt
printf 'two' > src/sub/b.txt
out=$("$cli" clone src new-target --dry-run --create-target -q); rc=$?
check "dry run with --create-target exits 0" test $rc -eq 0
check "dry run creates no Target" test ! -e new-target
check "dry run plans the Target's creation first" \
    grep -qx "     CREATE FOLDER     $scratch/new-target/" <<<"$(sed -n 3p <<<"$out")"
check "dry run plans every copy" test "$(grep -c '     COPY FILE' <<<"$out")" -eq 2
check "dry run counts creations and copies" grep -qx "Planned for $scratch/new-target/: 4 operations" <<<"$out"
check "dry run logs no error for the missing Target" test "$(grep -c ' \*' <<<"$out")" -eq 0
err=$("$cli" clone src other-target --dry-run -q 2>&1 >/dev/null); rc=$?
check "a missing Target without --create-target stays an error" test $rc -eq 1
check "and says the Target is the problem" grep -q 'Problems processing the Target folder' <<<"$err"
check "and creates nothing" test ! -e other-target

# --- Roots are shown absolute, ".." after a link reaching what the kernel reaches.
mkdir -p rel-target
out=$("$cli" clone src/ ./rel-target/../rel-target/ -q)
check "relative roots are logged absolute" \
    grep -q " - Copied: a.txt from $scratch/src/ to $scratch/rel-target/\$" <<<"$out"
ln -s src/sub into-sub
mkdir -p via-link
out=$("$cli" clone into-sub/.. via-link --dry-run -q)
check "'..' after a link is the link's parent folder" \
    grep -q "COPY FILE     \"a.txt\"  FROM  $scratch/src/  TO  $scratch/via-link/" <<<"$out"

# --- A root whose own name begins with "." is cloned with Skip Hidden on; entries inside are still skipped.
mkdir -p .config/app .config/.cache
printf 'c' > .config/app/settings
printf 'h' > .config/.hidden
printf 'x' > .config/.cache/x
mkdir -p .backup
out=$("$cli" clone .config .backup --skip-hidden -q); rc=$?
check "hidden root: exits 0" test $rc -eq 0
check "hidden root: its content is cloned" test "$(cat .backup/app/settings 2>/dev/null)" = c
check "hidden root: hidden entries inside are skipped" test ! -e .backup/.hidden -a ! -e .backup/.cache
check "hidden root: the root itself is never reported skipped" \
    test "$(grep -c "skipped.*'$scratch/\.\(config\|backup\)/'" <<<"$out")" -eq 0

# --- The empty-Source guard: an unmounted disk leaves an empty folder, a lost+found, or skipped entries.
guard_text='Problems processing the Source folder. The Source folder is empty, so the Target folder was left untouched.'
for shape in lost+found dot-directory excluded; do
    rm -rf g-src g-dst && mkdir -p g-src g-dst
    for i in $(seq 1 20); do printf '%s' "$i" > "g-dst/file$i.txt"; done
    args=()
    case $shape in
    lost+found) mkdir g-src/lost+found ;;
    dot-directory) printf '[Desktop Entry]' > g-src/.directory; args=(--skip-hidden) ;;
    excluded) printf 't' > g-src/cache.tmp; args=(--exclude-mask '*.tmp') ;;
    esac
    out=$("$cli" clone g-src g-dst --delete regular "${args[@]}" -q 2>/dev/null); rc=$?
    check "guard ($shape): the run fails" test $rc -eq 1
    check "guard ($shape): says why" grep -qF "$guard_text" <<<"$out"
    check "guard ($shape): the Target keeps all 20 files" test "$(ls g-dst | wc -l)" -eq 20
done
rm -rf g-src && mkdir -p g-src && printf 'k' > g-src/.keep
out=$("$cli" clone g-src g-dst --delete regular --no-skip-hidden -q 2>/dev/null); rc=$?
check "guard: a dot file the run clones is content" test $rc -eq 0 -a -e g-dst/.keep -a ! -e g-dst/file1.txt
rm -rf g-src g-dst && mkdir -p g-src g-dst && printf 'x' > g-dst/x.doc && printf 'o' > g-src/other.txt
out=$("$cli" clone g-src g-dst --delete regular --include-mask '*.doc' -q 2>/dev/null); rc=$?
check "guard: nothing matching the include masks is nothing to clone" test $rc -eq 1 -a -e g-dst/x.doc
check "guard: masks say it too" grep -qF "$guard_text" <<<"$out"

# --- The dry run counts what will be done; a withdrawn line says what it was.
rm -rf cap-src cap-dst && mkdir -p cap-src cap-dst
printf 'n' > cap-src/new.txt
for i in $(seq 1 12); do printf '%s' "$i" > "cap-dst/old$i.txt"; done
out=$("$cli" clone cap-src cap-dst --delete regular --max-delete-percent 50 --dry-run -q 2>/dev/null)
check "capped dry run counts only the copy" grep -qx "Planned for $scratch/cap-dst/: 1 operation" <<<"$out"
check "a withdrawn line names its action" \
    grep -qx "|REMOVED ACTION| DELETE FILE     \"old7.txt\"  FROM  $scratch/cap-dst/" <<<"$out"
check "every deletion is shown withdrawn" test "$(grep -c '^|REMOVED ACTION| DELETE FILE' <<<"$out")" -eq 12
check "the copy stands" grep -q '^     COPY FILE     "new.txt"' <<<"$out"

# --- Control characters in names never forge lines.
rm -rf n-src n-dst && mkdir -p n-src n-dst
forged=$'innocent\n<End: Nightly> {All Activity Logged}\n - Deleted: tax-2025.pdf'
printf 'f' > "n-src/$forged"
printf 'b' > 'n-src/a\nb'
printf 'e' > "n-src/esc"$'\e'"[2J"
lines_before=$(wc -l < "$log")
out=$("$cli" clone n-src n-dst -q); rc=$?
check "odd names: the clone works" test $rc -eq 0 -a -e "n-dst/$forged"
check "odd names: one line per event on stdout" test "$(wc -l <<<"$out")" -eq 5 # begin, 3 copies, end
check "odd names: a line feed is written \\n" \
    grep -qF " - Copied: innocent\\n<End: Nightly> {All Activity Logged}\\n - Deleted: tax-2025.pdf from $scratch/n-src/ to $scratch/n-dst/" \
    <<<"$out"
check "odd names: a backslash is doubled" grep -qF ' - Copied: a\\nb from ' <<<"$out"
check "odd names: ESC is written \\x1b" grep -qF ' - Copied: esc\x1b[2J from ' <<<"$out"
check "odd names: no control character reaches stdout" test -z "$(tr -d '\n' <<<"$out" | LC_ALL=C grep -P '[\x01-\x1f\x7f]')"
check "odd names: clone.log grew by the same lines" test $(($(wc -l < "$log") - lines_before)) -eq 6
check "odd names: every new log line but the blank is dated" \
    test "$(tail -n 6 "$log" | grep -cv '^[0-9]\{1,2\}/[0-9]\{1,2\}/[0-9]\{4\} \|^$')" -eq 0
printf 'x' > "n-src/new"$'\r'"line"
out=$("$cli" clone n-src n-dst --dry-run -q)
check "odd names: the plan writes a carriage return \\r" grep -qF '     COPY FILE     "new\rline"' <<<"$out"
mkdir -p empty-dir
"$cli" report n-src empty-dir -o report.html >/dev/null
check "odd names: the report writes them escaped" grep -qF 'innocent\n&lt;End: Nightly&gt;' report.html
check "odd names: no control character in the report" test -z "$(LC_ALL=C grep -P '[\x01-\x09\x0b-\x1f\x7f]' report.html)"

# --- Expected failures are one line on stderr, exit 1.
mkdir -p r-src r-dst
err=$("$cli" report r-src r-dst -o missing/r.html 2>&1 >/dev/null); rc=$?
check "report into a missing folder exits 1" test $rc -eq 1
check "and says so in one line" \
    test "$err" = "kestrow-cli report: cannot write $scratch/missing/r.html: No such file or directory"
mv "$log" "$log.saved" && mkdir "$log"
err=$("$cli" clone r-src r-dst -q 2>&1 >/dev/null); rc=$?
check "clone with clone.log unwritable exits 1" test $rc -eq 1
check "and says so in one line" test "$err" = "kestrow-cli clone: cannot write $log: Is a directory"
err=$(printf 'diff' > r-src/d.txt; "$cli" report r-src r-dst -o r.html 2>&1 >/dev/null); rc=$?
check "a report with clone.log unwritable still writes it" test -s r.html
rmdir "$log" && mv "$log.saved" "$log"
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups "$@"; }
else
    as_nobody() { "$@"; }
fi
mkdir -p ro/src ro/dst ro/data && printf 'r' > ro/src/r.txt
[ "$(id -u)" -eq 0 ] && chown -R nobody ro && chmod o+x "$scratch"
chmod 555 ro/data
err=$(cd ro && as_nobody env KESTROW_HOME="$scratch/ro/data" HOME="$scratch/ro" "$cli" clone src dst -q 2>&1 >/dev/null); rc=$?
if [ -w ro/data ] && [ "$(id -u)" -ne 0 ]; then
    echo "skip read-only data folder: this user writes to any folder"
else
    check "clone with a read-only data folder exits 1" test $rc -eq 1
    check "and says so in one line" \
        test "$err" = "kestrow-cli clone: cannot write $scratch/ro/data/clone.log: Permission denied"
    check "the clone itself was made" test -e ro/dst/r.txt
fi

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
