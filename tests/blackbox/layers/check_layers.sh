#!/usr/bin/env bash
# scripts/check-layers on a copy of the tree: passes on the tree as it is, and fails
# for an include that goes up a layer, Qt Widgets outside ui/, a system header in util/
# and ui/ and cli/ including each other.
set -euo pipefail
: "${KESTROW_SOURCE_DIR:?}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
copy="$work/tree"
mkdir -p "$copy/scripts"
cp "$KESTROW_SOURCE_DIR/scripts/check-layers" "$copy/scripts/"
for layer in util platform base zelcommon lumbrel log settings engine tasks app ui cli; do
    cp -r "$KESTROW_SOURCE_DIR/$layer" "$copy/"
done

"$copy/scripts/check-layers" >/dev/null || { echo "FAIL: the tree itself does not pass"; exit 1; }

expect_refusal() { # what, file, line
    local file="$copy/$2"
    cp "$file" "$file.orig"
    sed -i "1i $3" "$file"
    if "$copy/scripts/check-layers" >"$work/out" 2>&1; then
        echo "FAIL: $1 was not refused"
        exit 1
    fi
    grep -q "$2" "$work/out" || { echo "FAIL: $1: the message does not name $2"; cat "$work/out"; exit 1; }
    mv "$file.orig" "$file"
}
expect_refusal "engine including tasks" engine/cClone.cpp '#include "tasks/cCloneTask.h"'
expect_refusal "platform including base" platform/DirList.cpp '#include "base/ErrorReporter.h"'
expect_refusal "zelcommon including lumbrel" zelcommon/ZelCommon.cpp '#include "lumbrel/Lumbrel.h"'
expect_refusal "cli including ui" cli/main.cpp '#include "ui/qt/QtText.h"'
expect_refusal "Qt Widgets in app" app/Startup.cpp '#include <QWidget>'
expect_refusal "a system header in util" util/AsciiCase.cpp '#include <unistd.h>'
"$copy/scripts/check-layers" >/dev/null || { echo "FAIL: the restored tree does not pass"; exit 1; }
echo "check-layers refuses every kind of violation"
