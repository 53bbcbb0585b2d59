#!/usr/bin/env bash
# The installed desktop entry passes desktop-file-validate without a single remark (its
# hints too: a second main category would list the program twice in some menus), names the
# installed program and icon, and its StartupWMClass is the windows' class.
#   validate-desktop.sh ROOT WINDOW_CLASS
set -euo pipefail
root=$1 class=$2
file="$root/usr/share/applications/io.lumora.Viewer.desktop"
out=$(desktop-file-validate "$file" 2>&1) || { echo "$out"; exit 1; }
[ -z "$out" ] || { echo "$out"; exit 1; }
value() { sed -n "s/^$1=//p" "$file"; }
fail=0
exec_program=$(value Exec | cut -d' ' -f1)
[ -x "$root/usr/bin/$exec_program" ] || { echo "Exec=$exec_program is not an installed program"; fail=1; }
icon=$(value Icon)
[ -f "$root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || { echo "Icon=$icon is not in the hicolor theme"; fail=1; }
[ "$(value StartupWMClass)" = "$class" ] || { echo "StartupWMClass=$(value StartupWMClass), the windows' class is $class"; fail=1; }
for key in Name GenericName Comment Categories Keywords; do
  [ -n "$(value $key)" ] || { echo "$key is missing"; fail=1; }
done
exit $fail
