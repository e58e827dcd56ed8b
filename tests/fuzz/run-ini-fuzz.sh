#!/bin/sh
# Builds the INI fuzz target and runs it for a bounded time.
#   run-ini-fuzz.sh <builddir> <seconds>
# <builddir> is a clang build of the tree configured with -DKESTROW_FUZZ=ON; when it
# holds no such target (or does not exist yet), the target is configured on its own in
# <builddir>/ini-fuzz. The seed corpus is never written to: new inputs go to a
# temporary folder, crashes to <builddir>/ini-fuzz-crash-*. Exit status is non-zero
# when the fuzzer finds a failure.
set -eu

if [ $# -lt 1 ]; then
    echo "usage: $0 <builddir> [seconds]" >&2
    exit 2
fi
build=$1
seconds=${2:-20}
here=$(cd "$(dirname "$0")" && pwd)

if [ -f "$build/build.ninja" ] && ninja -C "$build" -t query kestrow_ini_fuzz >/dev/null 2>&1; then
    dir=$build
else
    dir=$build/ini-fuzz
    if [ ! -f "$dir/build.ninja" ]; then
        cmake -S "$here" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_CXX_COMPILER="${KESTROW_FUZZ_CXX:-clang++}" >/dev/null
    fi
fi
ninja -C "$dir" -j"${KESTROW_FUZZ_JOBS:-1}" kestrow_ini_fuzz

fuzzer=$(find "$dir" -name kestrow_ini_fuzz -type f -perm -u+x | head -n 1)
if [ -z "$fuzzer" ]; then
    echo "kestrow_ini_fuzz was not built (is the compiler clang?)" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
"$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/ini-fuzz-crash-" "$work" "$here/corpus/ini"
