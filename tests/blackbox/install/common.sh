# shellcheck shell=bash
# Sourced by the install tests: a scratch folder that also holds the home and
# every XDG folder, and check NAME COMMAND... which counts failures.
set -u
scratch=$(mktemp -d)
cleanup_steps=()
cleanup() {
    local step
    for step in "${cleanup_steps[@]}"; do eval "$step"; done
    rm -rf "$scratch"
}
trap cleanup EXIT
export HOME=$scratch/home KESTROW_HOME=$scratch/data XDG_DATA_HOME=$scratch/home/.local/share \
       XDG_CONFIG_HOME=$scratch/home/.config XDG_CONFIG_DIRS=$scratch/etc/xdg \
       XDG_CACHE_HOME=$scratch/home/.cache XDG_STATE_HOME=$scratch/home/.local/state
mkdir -p "$HOME"
failures=0
check() { # name, command...
    local name=$1
    shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
skip() { # reason
    echo "SKIP: $1"
    exit 77
}
finish() {
    echo "$failures failure(s)"
    [ "$failures" -eq 0 ]
}

# A small Source tree and a Target with an orphan: make_trees SOURCE TARGET
make_trees() {
    mkdir -p "$1/sub/deeper" "$1/empty" "$2/orphan-folder"
    printf 'one' > "$1/a.txt"
    printf 'two' > "$1/sub/b with space.txt"
    printf 'three' > "$1/sub/deeper/c.txt"
    printf 'old' > "$2/orphan.txt"
    printf 'x' > "$2/orphan-folder/x.txt"
}
