#!/usr/bin/env bash
# Builds the Debian package from the build's install rules, then checks what a user gets:
# the control fields (dependencies from dpkg-shlibdeps), the files it holds, no error from
# lintian, and the programs run from a scratch root made with dpkg -x, away from the build tree.
#   check-package.sh BUILD_DIR SCRATCH_DIR VERSION
set -euo pipefail
build=$1 scratch=$2 version=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$scratch"
mkdir -p "$scratch"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
  || { cat "$scratch/cpack.log"; exit 1; }
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "expected one .deb, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}
fail=0

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = lumora-viewer ] || { echo "Package: $(field Package)"; fail=1; }
[ "$(field Version)" = "$version" ] || { echo "Version: $(field Version), want $version"; fail=1; }
[ -n "$(field Maintainer)" ] || { echo "no Maintainer"; fail=1; }
[ -n "$(field Section)" ] || { echo "no Section"; fail=1; }
[ -n "$(field Description)" ] || { echo "no Description"; fail=1; }
depends=$(field Depends)
for library in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6svg6 libcurl4 libturbojpeg0 libyuv0 libwayland-client0; do
  grep -qE "(^|, )$library( |,|$)" <<<"$depends" || { echo "Depends lacks $library: $depends"; fail=1; }
done
# Plugins Qt loads by itself: pictures in TIFF, and the windows on a Wayland desktop.
recommends=$(field Recommends)
for plugin in qt6-image-formats-plugins qt6-wayland; do
  grep -qE "(^|, )$plugin( |,|$)" <<<"$recommends" || { echo "Recommends lacks $plugin: $recommends"; fail=1; }
done

files=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '/$' | sed 's|^\./||' | LC_ALL=C sort)
if [ "$files" != "$(LC_ALL=C sort "$here/expected-files.txt")" ]; then
  echo "The package's files differ from the expected list (< missing, > unexpected):"
  diff <(LC_ALL=C sort "$here/expected-files.txt") <(echo "$files") || true
  fail=1
fi

# Debian's own checker: what it calls an error (no copyright, a man page not compressed, an
# unstripped program...) keeps the package out of the archive. Warnings are shown, not fatal.
command -v lintian >/dev/null || { echo "lintian is not installed: run scripts/packages"; exit 1; }
lintian_status=0
lintian_out=$(lintian --fail-on error "$deb" 2>&1) || lintian_status=$?
grep -v 'running with root privileges' <<<"$lintian_out" || true
[ $lintian_status -eq 0 ] || { echo "lintian: exit status $lintian_status"; fail=1; }

root="$scratch/root"
dpkg -x "$deb" "$root"
for program in lumora-viewer lumora-camserver; do
  if readelf -d "$root/usr/bin/$program" | grep -E 'RUNPATH|RPATH'; then
    echo "$program carries a library search path"; fail=1
  fi
done
# A clean environment in an unrelated folder: nothing points the programs at the build.
version_line=$(cd / && env -i PATH=/usr/bin:/bin "$root/usr/bin/lumora-viewer" --version)
[ "$version_line" = "lumora viewer 5 version $version" ] || { echo "lumora-viewer --version: $version_line"; fail=1; }
help_text=$(cd / && env -i PATH=/usr/bin:/bin "$root/usr/bin/lumora-camserver" --help)
grep -q -- '--catalogue' <<<"$help_text" || { echo "lumora-camserver --help: $help_text"; fail=1; }
[ $fail -eq 0 ] && echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) KiB, Depends: $depends"
exit $fail
