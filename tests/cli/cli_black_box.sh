#!/usr/bin/env bash
# Runs kestrow-cli as a user would, in a scratch home.
set -u
cli=${KESTROW_CLI:?}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export HOME=$scratch/home KESTROW_HOME=$scratch/data XDG_DATA_HOME=$scratch/home/.local/share \
       XDG_CONFIG_HOME=$scratch/home/.config XDG_CONFIG_DIRS=$scratch/etc/xdg
failures=0
check() { # name, condition...
    local name=$1; shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}

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

exit $((failures > 0))
