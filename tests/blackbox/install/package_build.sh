#!/usr/bin/env bash
# Builds the Debian package with cpack and reads it back: name, version, that it
# depends on Debian's own packages only, and that it holds the install layout
# under /usr. Leaves the package in KESTROW_DEB_DIR for install_package_apt.
build=${KESTROW_BUILD_DIR:?}
version=${KESTROW_VERSION:?}
deb_dir=${KESTROW_DEB_DIR:?}
source "$(dirname "$0")/common.sh"

command -v dpkg-deb >/dev/null || skip "dpkg-deb is not installed: not a Debian system"
command -v cpack >/dev/null || skip "cpack is not installed"

rm -rf "$deb_dir"
mkdir -p "$deb_dir"
if ! cpack --config "$build/CPackConfig.cmake" -B "$deb_dir" > "$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log"
    echo "FAIL cpack"
    exit 1
fi
rm -rf "$deb_dir/_CPack_Packages"
arch=$(dpkg --print-architecture)
deb=$deb_dir/kestrow_${version}_$arch.deb
check "cpack made kestrow_${version}_$arch.deb" test -f "$deb"
[ -f "$deb" ] || finish

check "package name is kestrow" test "$(dpkg-deb -f "$deb" Package)" = kestrow
check "package version is $version" test "$(dpkg-deb -f "$deb" Version)" = "$version"

# Depends: only Debian's own runtime packages, the Qt ones among them.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
allowed=" libqt6widgets6 libqt6printsupport6 libqt6dbus6 libqt6network6 libqt6gui6 libqt6core6 zlib1g libc6 libstdc++6 libgcc-s1 "
names=$(sed -e 's/[,|]/\n/g' <<<"$depends" | sed -e 's/(.*)//' -e 's/ //g' -e '/^$/d')
for name in $names; do
    check "dependency $name is one of Debian's runtime packages" grep -q " $name " <<<"$allowed"
done
for needed in libqt6widgets6 libqt6core6 zlib1g libc6; do
    check "depends on $needed" grep -qx "$needed" <<<"$names"
done

# Contents: everything under /usr, in the install layout.
dpkg-deb -c "$deb" | awk '{ print $6 $7 $8 }' > "$scratch/contents"
check "everything is under /usr" bash -c '! grep -v -e "^\./$" -e "^\./usr/" "$1"' _ "$scratch/contents"
for path in ./usr/bin/kestrow ./usr/bin/kestrow-cli ./usr/lib/kestrow/libzelcommon.so \
    ./usr/lib/kestrow/liblumbrel.so ./usr/lib/kestrow/rpt_folders_sheep.jpg \
    ./usr/share/applications/kestrow.desktop ./usr/share/metainfo/io.kestrow.Kestrow.metainfo.xml \
    ./usr/share/icons/hicolor/48x48/apps/kestrow.png ./usr/share/man/man1/kestrow-cli.1.gz \
    ./usr/share/man/man5/kestrow.kwt.5.gz \
    ./usr/share/bash-completion/completions/kestrow-cli; do
    check "package holds $path" grep -qx -- "$path" "$scratch/contents"
done
for unit in "${KESTROW_SOURCE_DIR:?}"/dist/systemd/*.service; do
    [ -e "$unit" ] || continue
    check "package holds the user unit $(basename "$unit")" \
        grep -qx -- "./usr/lib/systemd/user/$(basename "$unit")" "$scratch/contents"
done

finish
