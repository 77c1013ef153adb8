#!/usr/bin/env bash
# Builds the Debian package into a temporary folder, unpacks it, and checks that what the
# desktop entries and manual pages name is where they say, and that the installed programs run.
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$tmp/out" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log"; fail "cpack"; }
deb=$(ls "$tmp"/out/*.deb)
dpkg-deb -x "$deb" "$tmp/root"
root=$tmp/root

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6; do
  [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done

for entry in tr805q tr805q-simulated; do
  desktop=$root/usr/share/applications/$entry.desktop
  [ -f "$desktop" ] || fail "no $entry.desktop"
  exec_line=$(sed -n 's/^Exec=//p' "$desktop")
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  program=${exec_line%% *}
  [ -x "$root/usr/bin/$program" ] || fail "$entry.desktop runs $program, not installed"
  for size in 16 32 48 256; do
    [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png" ] || fail "icon $icon at $size"
  done
done
grep -qx 'Name=TR805Q (simulated board)' "$root/usr/share/applications/tr805q-simulated.desktop" \
  || fail "simulated entry name"
grep -qx 'Exec=tr805q --simulate' "$root/usr/share/applications/tr805q-simulated.desktop" \
  || fail "simulated entry command"

for page in tr805q tr805q-cli mb805q-sim; do
  man=$root/usr/share/man/man1/$page.1.gz
  [ -f "$man" ] || fail "no manual page $page"
  zcat "$man" | grep -q "^\.TH" || fail "manual page $page is not a manual page"
  [ -x "$root/usr/bin/$page" ] || fail "manual page $page names a program that is not installed"
done

export XDG_CONFIG_HOME=$tmp/config HOME=$tmp/home QT_QPA_PLATFORM=offscreen
for program in tr805q tr805q-cli mb805q-sim; do
  version=$("$root/usr/bin/$program" --version)
  [[ $version == *"TR8051B Version 1.3"* ]] || fail "$program --version: $version"
done
info=$("$root/usr/bin/tr805q-cli" --simulate info 2>"$tmp/info.err") || fail "installed tr805q-cli --simulate info"
[[ $info == "GQ0017 Version "* ]] || fail "info printed: $info"
# A board command reads the stored settings through the settings module it loads.
[ ! -s "$tmp/info.err" ] || fail "installed tr805q-cli --simulate info said: $(cat "$tmp/info.err")"

# The Python module, where Debian's python3 finds packaged modules, imported from there.
if [ "${2:-}" = python ]; then
  [[ $depends == *"python3 (>= 3."* ]] || fail "Depends lacks python3: $depends"
  site=$root/usr/lib/python3/dist-packages
  ls "$site"/tr805q.cpython-*.so >/dev/null 2>&1 || fail "no tr805q module in $site"
  [ -f "$site/tr805q.pyi" ] || fail "no tr805q.pyi beside the module"
  imported=$(cd "$tmp" && PYTHONPATH=$site PYTHONNOUSERSITE=1 /usr/bin/python3 -c '
import tr805q
with tr805q.Kit.simulated() as kit:
    print(tr805q.__file__)
    print(kit.info().lines[0])
') || fail "import tr805q from the package"
  [[ $imported == "$site/tr805q.cpython-"*".so"$'\n'"GQ0017 Version "* ]] || fail "tr805q imported: $imported"
fi
echo "package $(basename "$deb") checked"
