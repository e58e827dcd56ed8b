#!/usr/bin/env bash
# kestrow-cli's progress line and run summary on stderr: under a pseudo-terminal,
# without one, and what --progress, --no-progress and -q make of them.
# The scratch home and check() of the black-box tests.
source "$(dirname "$0")/../install/common.sh"
cli=${KESTROW_CLI:?}

# Runs a command with stderr on a new pseudo-terminal (250 columns) and stdout
# to a file (or the terminal too with --shared); keeps what reached the
# terminal and prints the exit status and the seconds the run took.
cat > "$scratch/on_terminal.py" <<'EOF'
import fcntl, os, pty, struct, subprocess, sys, termios, time
args = sys.argv[1:]
shared = args[0] == '--shared'
if shared:
    args = args[1:]
out_path, capture_path, cmd = args[0], args[1], args[2:]
master, slave = pty.openpty()
fcntl.ioctl(slave, termios.TIOCSWINSZ, struct.pack('HHHH', 40, 250, 0, 0))
start = time.monotonic()
with open(out_path, 'wb') as out:
    child = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, stdout=slave if shared else out, stderr=slave)
os.close(slave)
data = bytearray()
while True:
    try:
        chunk = os.read(master, 65536)
    except OSError:
        break
    if not chunk:
        break
    data += chunk
rc = child.wait()
with open(capture_path, 'wb') as f:
    f.write(data)
print(rc, '%.3f' % (time.monotonic() - start))
EOF
on_terminal() { python3 "$scratch/on_terminal.py" "$@"; }
redraw=$'\r\e[K'
# Any phase of the line: the ticker thread draws it, so which phase it meets first
# depends on the machine's load.
phases=' - (comparing|copying|deleting|creating folders|removing folders|updating)'

# Copies are slowed where strace can delay system calls (the new file's link
# or rename into place), so the line has time to show them.
slow=()
if strace -f -qq -o /dev/null -e trace=linkat -e inject=linkat:delay_exit=1 true 2>/dev/null; then
    slow=(strace -f -qq -o /dev/null -e trace=linkat,renameat,renameat2
          -e inject=linkat,renameat,renameat2:delay_exit=20000)
else
    echo "skip: strace cannot delay system calls here; the checks of a slow run's line are left out"
fi

# 50 files of 100 bytes, 30 of them in two folders the Target lacks; the Target
# has three orphan files and one empty orphan folder.
src=$scratch/src dst=$scratch/dst
mkdir -p "$src/new1" "$src/new2"
for i in $(seq 1 20); do head -c 100 /dev/zero > "$src/top$i.txt"; done
for i in $(seq 1 15); do
    head -c 100 /dev/zero > "$src/new1/a$i.txt"
    head -c 100 /dev/zero > "$src/new2/b$i.txt"
done
fresh_target() {
    rm -rf "$dst"
    mkdir -p "$dst/orphan-folder"
    printf 'x' > "$dst/orphan1"; printf 'x' > "$dst/orphan2"; printf 'x' > "$dst/orphan3"
}
summary='Copied 50 files \(4\.9 KB\), deleted 3, folders created 2, removed 1, 0 errors, in [0-9][0-9hms. ]*s'
lines() { tr '\r' '\n' < "$1" | sed 's/\x1b\[K//g'; } # what a terminal shows, one draw per line

# Under a terminal: the line drawn in place and cleared, then the summary.
fresh_target
read -r rc _ < <(on_terminal "$scratch/out" "$scratch/tty" "$cli" clone "$src" "$dst" --delete regular)
check "a clone on a terminal exits 0" test "$rc" -eq 0
check "the trees are identical" diff -r "$src" "$dst"
check "the progress line is drawn in place" grep -aqE $'\r\e\\[K'"$dst/$phases" "$scratch/tty"
check "the summary has the run's counts" grep -Eqx "$summary" <(lines "$scratch/tty")
check "the line is cleared before the summary" grep -qF "${redraw}Copied 50 files" "$scratch/tty"
check "nothing is drawn after the summary" grep -Eq "$summary"$'\r$' <(tail -n 1 "$scratch/tty")
check "stdout has the log lines" grep -q '<Begin: Command Line Clone>' "$scratch/out"
check "stdout has no summary" test -z "$(grep 'Copied 50 files' "$scratch/out")"
check "stdout has no progress line" test -z "$(grep -E -e "$phases" -e $'\e' "$scratch/out")"
check "clone.log has neither" test -z "$(grep -E -e 'Copied 50 files' -e "$phases" -e $'\e' "$KESTROW_HOME/clone.log")"

if [ ${#slow[@]} -gt 0 ]; then
    fresh_target
    read -r rc _ < <(on_terminal "$scratch/out" "$scratch/tty" "${slow[@]}" "$cli" clone "$src" "$dst" --delete regular)
    check "a slow clone exits 0" test "$rc" -eq 0
    check "the line counts copies against the planned total" \
        grep -Eq "^$dst/ - [a-z ]+: [0-9]+/50 files, [0-9.]+ [KB ]+/4\.9 KB" <(lines "$scratch/tty")
    check "the slow run's summary has the same counts" grep -Eqx "$summary" <(lines "$scratch/tty")

    # Log lines on the same terminal: the line makes way for each and comes back below it.
    fresh_target
    on_terminal --shared "$scratch/out" "$scratch/tty" "${slow[@]}" "$cli" clone "$src" "$dst" --delete regular >/dev/null
    check "a log line on the terminal starts on a cleared line" \
        grep -Eq "^"$'\e'"\[K[0-9/]+ [0-9:]+ [AP]M - Copied: " <(tr '\r' '\n' < "$scratch/tty")
fi

# The redraw rate over a copy of many small files: at most four a second (the
# bound allows five, and a few for the start and the end).
many=$scratch/many
mkdir -p "$many/src"
for i in $(seq 1 200); do printf '%s' "$i" > "$many/src/f$i"; done
read -r rc elapsed < <(on_terminal "$scratch/out" "$scratch/tty" "${slow[@]}" "$cli" clone "$many/src" "$many/dst" --create-target)
check "the many-file clone exits 0" test "$rc" -eq 0
draws=$(grep -aoF "$redraw" "$scratch/tty" | wc -l)
echo "     $draws draws in ${elapsed}s"
check "the line is redrawn at most about four times a second" \
    awk -v d="$draws" -v t="$elapsed" 'BEGIN { exit !(d >= 1 && d <= 5 * t + 4) }'

# Not a terminal: nothing of it, unless --progress.
fresh_target
"$cli" clone "$src" "$dst" --delete regular >"$scratch/out" 2>"$scratch/err"
check "no summary when stderr is a file" test -z "$(grep 'Copied ' "$scratch/err")"
check "no progress line when stderr is a file" test -z "$(grep -E -e "$phases" -e $'\e' "$scratch/err")"
fresh_target
"$cli" clone "$src" "$dst" --delete regular --progress >"$scratch/out" 2>"$scratch/err"
check "--progress gives the summary on a file" grep -Eqx "$summary" "$scratch/err"
check "--progress on a file writes plain lines" test -z "$(grep -e $'\e' -e $'\r' "$scratch/err")"
check "--progress on a file writes the line" grep -Eq "^$dst/$phases" "$scratch/err"
check "--progress keeps stdout clean" test -z "$(grep -E -e 'Copied 50 files' -e "$phases" "$scratch/out")"

# --no-progress and -q under a terminal.
fresh_target
on_terminal "$scratch/out" "$scratch/tty" "$cli" clone "$src" "$dst" --delete regular --no-progress >/dev/null
check "--no-progress shows no summary" test -z "$(grep -a 'Copied 50' "$scratch/tty")"
check "--no-progress shows no progress line" test -z "$(grep -aE "$phases" "$scratch/tty")"
fresh_target
on_terminal "$scratch/out" "$scratch/tty" "$cli" clone "$src" "$dst" --delete regular -q >/dev/null
check "-q shows nothing on the terminal" test ! -s "$scratch/tty"
fresh_target
on_terminal "$scratch/out" "$scratch/tty" "$cli" clone "$src" "$dst" --delete regular -q --progress >/dev/null
check "-q --progress shows the summary" grep -Eqx "$summary" <(lines "$scratch/tty")
check "-q --progress shows no status texts" \
    test -z "$(grep -a -e 'Clone in Progress' -e 'Comparing folders' -e 'Clone Complete' "$scratch/tty")"

# run: one summary per task run, with the task's name; each Target in the line.
t1=$scratch/run1 t2=$scratch/run2 t3=$scratch/run3
mkdir -p "$t1" "$t2" "$t3"
printf '[First]\r\nSourceFolderSpec=%s\r\nTargetFolderSpec=%s<:>%s\r\n\r\n[Second]\r\nSourceFolderSpec=%s\r\nTargetFolderSpec=%s\r\n' \
    "$src/new1" "$t1" "$t2" "$src/new2" "$t3" > "$scratch/list.kwt"
"$cli" run --all --task-list "$scratch/list.kwt" --progress >"$scratch/out" 2>"$scratch/err"; rc=$?
check "run --all exits 0" test "$rc" -eq 0
check "the first task's summary counts both Targets" \
    grep -Eqx 'First: Copied 30 files \(2\.9 KB\), deleted 0, folders created 0, removed 0, 0 errors, in [0-9hms. ]+s' "$scratch/err"
check "the second task has its own summary" \
    grep -Eqx 'Second: Copied 15 files \(1\.5 KB\), deleted 0, folders created 0, removed 0, 0 errors, in [0-9hms. ]+s' "$scratch/err"
if [ ${#slow[@]} -gt 0 ]; then
    rm -rf "$t1" "$t2" "$t3"
    mkdir -p "$t1" "$t2" "$t3"
    # Each Target's copies take over a second: a plain line a second shows each.
    "${slow[@]/delay_exit=20000/delay_exit=80000}" "$cli" run First --task-list "$scratch/list.kwt" --progress \
        >"$scratch/out" 2>"$scratch/err"
    check "the line names the first Target" grep -q "^$t1/ - " "$scratch/err"
    check "the line names the second Target" grep -q "^$t2/ - " "$scratch/err"
fi
check "run --all keeps stdout clean" test -z "$(grep -E -e 'Copied [0-9]* files' -e "$phases" "$scratch/out")"

# Folder names that hold a terminal command reach the terminal escaped: in the status
# texts (which name the Source) and in the progress line (which names the Target).
evil=$scratch/$'src\e]0;pwned\a'
mkdir -p "$evil"
# Enough files (slowed where strace can) for the line's thread to draw the Target.
for i in $(seq 1 200); do printf 'x' > "$evil/file$i"; done
for mode in --no-progress:src --progress:dst; do
    shown=${mode#*:} mode=${mode%:*}
    on_terminal "$scratch/out" "$scratch/tty" "${slow[@]}" "$cli" clone "$evil" "$scratch/"$'dst\e]0;pwned\a'"$mode" \
        --create-target "$mode" >/dev/null
    check "$mode: a folder name's terminal command is not sent to the terminal" \
        bash -c "! grep -aqF $'\e]0;pwned' '$scratch/tty'"
    check "$mode: the $shown folder's name is shown escaped" grep -aqF "$shown"'\x1b]0;pwned\x07' "$scratch/tty"
done

# The options are in both commands' usage.
check "clone --help names --progress" grep -q -- '--no-progress' <("$cli" clone --help)
check "run --help names --progress" grep -q -- '--no-progress' <("$cli" run --help)

finish
