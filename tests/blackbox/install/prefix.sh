#!/usr/bin/env bash
# Installs the build into a scratch prefix and uses the programs from there: they
# must find their libraries and report images in PREFIX/lib/kestrow/, with nothing
# of the build tree beside them.
build=${KESTROW_BUILD_DIR:?}
source_dir=${KESTROW_SOURCE_DIR:?}
version=${KESTROW_VERSION:?}
source "$(dirname "$0")/common.sh"

prefix=$scratch/prefix
if ! cmake --install "$build" --prefix "$prefix" > "$scratch/install.log" 2>&1; then
    cat "$scratch/install.log"
    echo "FAIL cmake --install"
    exit 1
fi

# WIDTHxHEIGHT of a PNG file: the big-endian words at bytes 16 and 20.
png_size() {
    local b
    read -ra b <<<"$(od -An -tu1 -j16 -N8 "$1")"
    [ ${#b[@]} -eq 8 ] || return 0
    echo "$(((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]))x$(((b[4] << 24) | (b[5] << 16) | (b[6] << 8) | b[7]))"
}

# The layout.
for file in bin/kestrow bin/kestrow-cli; do
    check "$file is an executable" test -x "$prefix/$file" -a ! -L "$prefix/$file"
done
for file in libzelcommon.so liblumbrel.so rpt_folders_sheep.jpg rpt_file.jpg rpt_folder.jpg; do
    check "lib/kestrow/$file is installed" test -f "$prefix/lib/kestrow/$file"
done
check "no library sits beside the executables" \
    bash -c '! compgen -G "$1/bin/*.so" >/dev/null' _ "$prefix"
if [ -d "$source_dir/docs/help" ]; then
    check "help is installed" test -d "$prefix/lib/kestrow/help"
fi
for file in share/applications/kestrow.desktop share/metainfo/io.kestrow.Kestrow.metainfo.xml \
    share/icons/hicolor/scalable/apps/kestrow.svg share/man/man1/kestrow.1.gz \
    share/man/man1/kestrow-cli.1.gz share/man/man5/kestrow.kwt.5.gz \
    share/bash-completion/completions/kestrow-cli; do
    check "$file is installed" test -s "$prefix/$file"
done
for size in 16 22 24 32 48 64 128 256; do
    png=$prefix/share/icons/hicolor/${size}x${size}/apps/kestrow.png
    check "${size}x${size} icon is installed at its size" test "$(png_size "$png")" = "${size}x${size}"
done
for unit in "$source_dir"/dist/systemd/*.service; do
    [ -e "$unit" ] || continue
    check "user unit $(basename "$unit") is installed" \
        cmp -s "$unit" "$prefix/lib/systemd/user/$(basename "$unit")"
done
check "man pages are gzip files" gzip -t "$prefix/share/man/man1/kestrow.1.gz" \
    "$prefix/share/man/man1/kestrow-cli.1.gz" "$prefix/share/man/man5/kestrow.kwt.5.gz"

# The programs at work from the prefix.
cli=$prefix/bin/kestrow-cli
out=$("$cli" --version)
check "installed kestrow-cli reports version $version" test "$out" = "kestrow-cli $version"

src=$scratch/src dst=$scratch/dst
make_trees "$src" "$dst"

# The report (of the trees before the clone, so it shows files and folders) names
# its images in the program folder, where they must exist.
report=$scratch/report.html
"$cli" report "$src" "$dst" --output "$report" > /dev/null 2> "$scratch/report.err"
rc=$?
check "installed report exits 0" test $rc -eq 0
images=$(grep -oE 'SRC="[^"]*\.jpg"' "$report" | sed -e 's/^SRC="//' -e 's/"$//' | sort -u)
check "report shows images" test -n "$images"
for image in $images; do
    check "report image $image is in the installed program folder" \
        test "$(dirname "$image")" = "$prefix/lib/kestrow" -a -f "$image"
done
check "report shows the file and folder images too" test "$(wc -l <<<"$images")" -eq 3

"$cli" clone "$src" "$dst" --delete regular -q > "$scratch/clone.out" 2> "$scratch/clone.err"
rc=$?
check "installed clone exits 0" test $rc -eq 0
check "installed clone loaded its libraries" bash -c '! grep -q "Error loading DLL" "$1"' _ "$scratch/clone.err"
check "installed clone made the Target identical" diff -r "$src" "$dst"
check "installed clone wrote clone.log to the data folder" test -s "$KESTROW_HOME/clone.log"

finish
