#!/usr/bin/env bash
# Installs the package built by install_package_build with apt, as a user would,
# uses the installed programs, then removes the package again. Root only, and never
# over a kestrow package that was installed before.
version=${KESTROW_VERSION:?}
deb_dir=${KESTROW_DEB_DIR:?}
source "$(dirname "$0")/common.sh"

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
command -v apt-get >/dev/null || skip "apt-get is not installed: not a Debian system"
if dpkg-query -W -f='${Status}' kestrow 2>/dev/null | grep -q "install ok installed"; then
    skip "a kestrow package is installed already; this test does not replace it"
fi
deb=$(compgen -G "$deb_dir/kestrow_${version}_*.deb" | head -n 1)
[ -n "$deb" ] || skip "no package in $deb_dir: install_package_build made none"

export DEBIAN_FRONTEND=noninteractive LC_ALL=C
cleanup_steps+=('dpkg-query -W kestrow >/dev/null 2>&1 && apt-get remove --purge -y -qq kestrow >/dev/null 2>&1')
apt-get install -y -qq --no-install-recommends "$deb" > "$scratch/apt.log" 2>&1
rc=$?
check "apt-get installs the package" test $rc -eq 0
[ $rc -eq 0 ] || { cat "$scratch/apt.log"; finish; exit 1; }

check "kestrow-cli is on the PATH" test "$(command -v kestrow-cli)" = /usr/bin/kestrow-cli
check "installed kestrow-cli reports version $version" test "$(kestrow-cli --version)" = "kestrow-cli $version"
src=$scratch/src dst=$scratch/dst
make_trees "$src" "$dst"
kestrow-cli clone "$src" "$dst" --delete regular -q > "$scratch/clone.out" 2>&1
check "installed clone exits 0" test $? -eq 0
check "installed clone made the Target identical" diff -r "$src" "$dst"
check "the desktop's menu has the entry" test -f /usr/share/applications/kestrow.desktop
check "the icon theme has the icon" test -f /usr/share/icons/hicolor/48x48/apps/kestrow.png
if command -v man >/dev/null; then
    check "man finds kestrow-cli(1)" test "$(man -w kestrow-cli)" = /usr/share/man/man1/kestrow-cli.1.gz
fi

units=$(dpkg -L kestrow | grep '^/usr/lib/systemd/user/.*\.service$')
if [ -n "$units" ] && command -v systemd-analyze >/dev/null; then
    mkdir -p "$scratch/runtime"
    chmod 700 "$scratch/runtime"
    for unit in $units; do
        out=$(XDG_RUNTIME_DIR=$scratch/runtime systemd-analyze --user verify "$unit" 2>&1)
        rc=$?
        [ -z "$out" ] || echo "$out"
        check "systemd-analyze verifies $(basename "$unit")" test $rc -eq 0 -a -z "$out"
    done
else
    echo "note: no systemd user unit in the package or no systemd-analyze; unit not verified"
fi

apt-get remove --purge -y -qq kestrow > "$scratch/remove.log" 2>&1
check "apt-get removes the package" test $? -eq 0
check "removal takes the programs" test ! -e /usr/bin/kestrow-cli -a ! -e /usr/bin/kestrow
check "removal takes the program folder" test ! -e /usr/lib/kestrow
check "nothing of the package is left" bash -c '! dpkg-query -W kestrow >/dev/null 2>&1'

finish
