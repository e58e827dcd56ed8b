#!/usr/bin/env bash
# The AppStream metainfo passes appstreamcli validate, launches the installed desktop
# entry and names the project's version as its latest release.
source_dir=${KESTROW_SOURCE_DIR:?}
version=${KESTROW_VERSION:?}
source "$(dirname "$0")/common.sh"

command -v appstreamcli >/dev/null || skip "appstreamcli is not installed (appstream)"
metainfo=$source_dir/dist/io.kestrow.Kestrow.metainfo.xml
out=$(appstreamcli validate --no-net --no-color "$metainfo" 2>&1)
rc=$?
echo "$out"
check "appstreamcli validate accepts the metainfo" test $rc -eq 0
check "no warnings" bash -c '! grep -q "^[EW]:" <<<"$1"' _ "$out"
check "launches kestrow.desktop" grep -q '<launchable type="desktop-id">kestrow.desktop</launchable>' "$metainfo"
latest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
check "latest release $latest is the project version $version" test "$latest" = "$version"
finish
