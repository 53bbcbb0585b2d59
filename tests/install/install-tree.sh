#!/usr/bin/env bash
# Installs the build into a scratch root under /usr and compares the files it holds with
# the expected list, both ways: every file a desktop needs is there, and nothing else.
#   install-tree.sh BUILD_DIR ROOT EXPECTED_LIST
set -euo pipefail
build=$1 root=$2 expected=$3
rm -rf "$root"
DESTDIR="$root" cmake --install "$build" --prefix /usr >/dev/null
actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
wanted=$(LC_ALL=C sort "$expected")
if [ "$actual" != "$wanted" ]; then
  echo "The installed files differ from the expected list (< missing, > unexpected):"
  diff <(echo "$wanted") <(echo "$actual") || true
  exit 1
fi
for program in lumora-viewer lumora-camserver; do
  [ -x "$root/usr/bin/$program" ] || { echo "usr/bin/$program is not executable"; exit 1; }
done
echo "$(echo "$actual" | wc -l) files installed as expected"
