#!/bin/sh
# Builds one fuzz target and runs it for a bounded time.
#   run-fuzz.sh [--no-build] <builddir> <name> [seconds]
# <name> is the target without "kestrow_" and "_fuzz": ini, tasklist, daynumber,
# specstring or mask; its seeds are corpus/<name>/. <builddir> is a clang build of
# this folder, configured here when it does not exist yet; with --no-build the
# target must be built already (ctest runs several targets at once, so it must not
# start builds that race each other). Builds in one folder take turns on a lock.
#
# The seed corpus is never written to: new inputs go to a temporary folder, or to
# $KESTROW_FUZZ_CORPUS_DIR/<name> when that is set (kept between runs). A failing
# input goes to <builddir>/<name>-fuzz-crash-* (or -timeout-*, -oom-*). The exit
# status is non-zero when the fuzzer finds a failure.
set -eu

build_it=1
if [ "${1:-}" = "--no-build" ]; then
    build_it=0
    shift
fi
if [ $# -lt 2 ]; then
    echo "usage: $0 [--no-build] <builddir> <name> [seconds]" >&2
    exit 2
fi
build=$1
name=$2
seconds=${3:-30}
here=$(cd "$(dirname "$0")" && pwd)
target=kestrow_${name}_fuzz
fuzzer=$build/$target

if [ ! -d "$here/corpus/$name" ]; then
    echo "no seed corpus $here/corpus/$name" >&2
    exit 2
fi

if [ "$build_it" = 1 ]; then
    mkdir -p "$build"
    (
        flock 9
        if [ ! -f "$build/build.ninja" ]; then
            cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
                -DCMAKE_CXX_COMPILER="${KESTROW_FUZZ_CXX:-clang++}" >/dev/null
        fi
        ninja -C "$build" -j"${KESTROW_FUZZ_JOBS:-1}" "$target"
    ) 9>"$build/.fuzz-build.lock"
fi
if [ ! -x "$fuzzer" ]; then
    echo "$fuzzer was not built (is the compiler clang?)" >&2
    exit 1
fi

if [ -n "${KESTROW_FUZZ_CORPUS_DIR:-}" ]; then
    work=$KESTROW_FUZZ_CORPUS_DIR/$name
    mkdir -p "$work"
else
    work=$(mktemp -d)
    trap 'rm -rf "$work"' EXIT INT TERM
fi
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/$name-fuzz-" "$work" "$here/corpus/$name"
