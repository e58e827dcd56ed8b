#!/usr/bin/env bash
# The desktop entry passes desktop-file-validate and names the installed icon and program.
source_dir=${KESTROW_SOURCE_DIR:?}
source "$(dirname "$0")/common.sh"

command -v desktop-file-validate >/dev/null || skip "desktop-file-validate is not installed (desktop-file-utils)"
entry=$source_dir/dist/kestrow.desktop
out=$(desktop-file-validate "$entry" 2>&1)
rc=$?
[ -z "$out" ] || echo "$out"
check "desktop-file-validate accepts kestrow.desktop without a hint" test $rc -eq 0 -a -z "$out"
check "entry starts the kestrow program" grep -qx 'Exec=kestrow' "$entry"
check "entry's icon is the one installed" grep -qx 'Icon=kestrow' "$entry"
finish
