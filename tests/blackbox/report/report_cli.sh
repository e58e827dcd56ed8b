#!/usr/bin/env bash
# Runs `kestrow-cli report` as a user would, in a scratch home. Nothing here
# starts a browser: --open is only tried where no handler exists or the one
# found cannot be started.
set -u
cli=${KESTROW_CLI:?}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch/home KESTROW_HOME=$scratch/data XDG_DATA_HOME=$scratch/home/.local/share \
       XDG_CONFIG_HOME=$scratch/home/.config XDG_CONFIG_DIRS=$scratch/etc/xdg \
       XDG_DATA_DIRS=$scratch/share TMPDIR=$scratch/tmp
unset BROWSER XDG_CURRENT_DESKTOP
mkdir -p "$TMPDIR" "$scratch/share" "$scratch/emptybin"
failures=0
check() { # name, condition...
    local name=$1; shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}

src=$scratch/src dst=$scratch/dst
mkdir -p "$src/new" "$dst/old"
printf 'same' > "$src/same.txt"; cp -p "$src/same.txt" "$dst/same.txt"
printf 'a' > "$src/added.txt"
printf 'n' > "$src/new/n.txt"
printf 'd' > "$dst/deleted.txt"
printf 'o' > "$dst/old/o.txt"

out=$("$cli" report --help); rc=$?
check "help exits 0" test $rc -eq 0
check "help shows usage" grep -q '^Usage: kestrow-cli report SOURCE TARGET' <<<"$out"

"$cli" report "$src" >/dev/null 2>&1; rc=$?
check "one folder is bad usage (2)" test $rc -eq 2
"$cli" report "$src" "$dst" --bogus >/dev/null 2>&1; rc=$?
check "unknown option is bad usage (2)" test $rc -eq 2

err=$("$cli" report "$src" "$scratch/missing" 2>&1 >/dev/null); rc=$?
check "missing target exits 2" test $rc -eq 2
check "missing target names the side" grep -q 'Problems processing the Target folder.' <<<"$err"
check "missing target gives the folder message" grep -q "\"$scratch/missing/\"" <<<"$err"

out=$("$cli" report "$src" "$dst"); rc=$?
check "report exits 0" test $rc -eq 0
check "report prints one path in the temporary folder" \
    bash -c '[[ $0 == "$1"/rpt*.html && $(wc -l <<<"$0") -eq 1 ]]' "$out" "$TMPDIR"
check "report file is there" test -s "$out"
html=$(cat "$out" 2>/dev/null)
check "added file listed" grep -qF "width=10>$src/added.txt</dd>" <<<"$html"
check "added folder listed" grep -qF "width=16>$src/new/..</dd>" <<<"$html"
check "deleted folder contents listed" grep -qF "width=10>$src/old/o.txt</dd>" <<<"$html"
check "images come from the program folder" grep -qF "SRC=\"$(dirname "$cli")/rpt_file.jpg\"" <<<"$html"
check "images are installed in the program folder" \
    test -s "$(dirname "$cli")/rpt_folders_sheep.jpg" -a -s "$(dirname "$cli")/rpt_file.jpg" \
         -a -s "$(dirname "$cli")/rpt_folder.jpg"

out=$("$cli" report "$src" "$dst" --no-subfolders -o "$scratch/r.html"); rc=$?
check "--output exits 0" test $rc -eq 0
check "--output prints that file" test "$out" = "$scratch/r.html"
html=$(cat "$scratch/r.html" 2>/dev/null)
check "without subfolders the top file is listed" grep -qF "$src/added.txt</dd>" <<<"$html"
check "without subfolders no folder is listed" bash -c '! grep -qF "/new/.." <<<"$0"' "$html"

# No handler anywhere: no associations, no $BROWSER, nothing on the PATH.
err=$(PATH=$scratch/emptybin "$cli" report "$src" "$dst" --open 2>&1 >/dev/null); rc=$?
check "--open without a browser still exits 0" test $rc -eq 0
check "--open without a browser says so" grep -q 'You do not have an application associated to view HTML files.' <<<"$err"
check "the message names the report's folder" grep -qF "Report File Location: $TMPDIR/" <<<"$err"

# A registered handler whose program cannot be run (not a valid executable).
mkdir -p "$XDG_DATA_HOME/applications" "$XDG_CONFIG_HOME"
printf 'not a program\n' > "$scratch/broken-browser"
chmod +x "$scratch/broken-browser"
printf '[Desktop Entry]\nType=Application\nName=Broken\nExec=%s %%U\n' "$scratch/broken-browser" \
    > "$XDG_DATA_HOME/applications/broken.desktop"
printf '[Default Applications]\ntext/html=broken.desktop\n' > "$XDG_CONFIG_HOME/mimeapps.list"
err=$(PATH=$scratch/emptybin "$cli" report "$src" "$dst" --open 2>&1 >/dev/null); rc=$?
check "--open with a broken handler still exits 0" test $rc -eq 0
check "--open with a broken handler says so" grep -q 'could not be opened by your browser' <<<"$err"
check "the message names the handler" grep -qF "Browser Specification: $scratch/broken-browser" <<<"$err"

echo "$failures failure(s)"
test $failures -eq 0
