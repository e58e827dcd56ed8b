# Sourced by the black-box scripts of kestrow-cli: a scratch home and data folder
# (removed at exit), and `check NAME CONDITION...`, which counts failures.
set -u
cli=${KESTROW_CLI:?}
scratch=$(mktemp -d)
trap 'chmod -R u+w "$scratch" 2>/dev/null; rm -rf "$scratch"' EXIT
export HOME=$scratch/home KESTROW_HOME=$scratch/data XDG_DATA_HOME=$scratch/home/.local/share \
       XDG_CONFIG_HOME=$scratch/home/.config XDG_CONFIG_DIRS=$scratch/etc/xdg
failures=0
check() { # name, condition...
    local name=$1; shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
