# Sourced by the black-box scripts of `kestrow-cli daemon`: a scratch home and data
# folder with a short tick, the background processes started (`pids`) killed and the
# scratch folder removed at exit, and `check NAME CONDITION...`, which counts failures.
set -u
cli=${KESTROW_CLI:?}
scratch=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null; done
    rm -rf "$scratch"
}
trap cleanup EXIT
export HOME=$scratch/home KESTROW_HOME=$scratch/data XDG_DATA_HOME=$scratch/home/.local/share \
       XDG_CONFIG_HOME=$scratch/home/.config XDG_CONFIG_DIRS=$scratch/etc/xdg KESTROW_TICK_MS=100
mkdir -p "$HOME" "$KESTROW_HOME"
failures=0
check() { # name, condition...
    local name=$1; shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
watchdog=60
