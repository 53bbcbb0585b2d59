#!/usr/bin/env bash
# The installed metainfo passes appstreamcli's validation without errors, warnings or
# infos, launches the installed desktop entry and carries the project's version.
#   validate-metainfo.sh ROOT VERSION
set -euo pipefail
root=$1 version=$2
file="$root/usr/share/metainfo/io.lumora.Viewer.metainfo.xml"
out=$(appstreamcli validate --no-net "$file" 2>&1) || { echo "$out"; exit 1; }
if echo "$out" | grep -E '^[EWI]: '; then exit 1; fi
desktop=$(sed -n 's|.*<launchable type="desktop-id">\(.*\)</launchable>.*|\1|p' "$file")
[ -f "$root/usr/share/applications/$desktop" ] || { echo "launchable $desktop is not installed"; exit 1; }
grep -q "<release version=\"$version\"" "$file" || { echo "no release $version"; exit 1; }
for binary in $(sed -n 's|.*<binary>\(.*\)</binary>.*|\1|p' "$file"); do
  [ -x "$root/usr/bin/$binary" ] || { echo "provided binary $binary is not installed"; exit 1; }
done
