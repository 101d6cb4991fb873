#!/usr/bin/env bash
# cpack -G DEB: tarnwell_<version>_<arch>.deb holds both programs, their data, the desktop entry,
# the icon and the manual pages; its library dependencies are worked out; the desktop entry
# validates and lintian finds no error.
set -u
bin=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

cpack --config "$bin/CPackConfig.cmake" -G DEB -B "$tmp" >"$tmp/cpack.txt" 2>&1 ||
    fail "cpack: $(tail -5 "$tmp/cpack.txt")"
version=$(sed -n 's/.*program_title = "Tarnwell SPH v \(.*\)";/\1/p' "$src/app/startup.h")
deb="$tmp/tarnwell_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$tmp")"

dpkg -c "$deb" | awk '{ print $6 }' | sed 's|^\./||' >"$tmp/files"
want=(usr/bin/tarnwell-sim usr/share/tarnwell/config.ini usr/share/tarnwell/scenes/dam_break.ini
      usr/share/man/man1/tarnwell-sim.1.gz usr/share/doc/tarnwell/copyright
      usr/share/doc/tarnwell/changelog.gz)
if [ -x "$bin/tarnwell" ]; then
    want+=(usr/bin/tarnwell usr/share/tarnwell/vs.glsl usr/share/tarnwell/fs.glsl
           usr/share/applications/tarnwell.desktop usr/share/icons/hicolor/scalable/apps/tarnwell.svg
           usr/share/man/man6/tarnwell.6.gz)
fi
for f in "${want[@]}"; do grep -qx "$f" "$tmp/files" || fail "dpkg -c: $f missing"; done
for f in "$src"/data/scenes/*.ini; do
    grep -qx "usr/share/tarnwell/scenes/$(basename "$f")" "$tmp/files" || fail "scene $(basename "$f") missing"
done
# Nothing from the build folder or the tests strays into the package.
extra=$(grep -v -e '/$' -e '^usr/bin/tarnwell\(-sim\)\?$' -e '^usr/share/tarnwell/' \
                -e '^usr/share/man/' -e '^usr/share/doc/tarnwell/' -e '^usr/share/applications/' \
                -e '^usr/share/icons/' "$tmp/files")
[ -z "$extra" ] || fail "unexpected files in the package: $extra"

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: $depends"
done
if [ -x "$bin/tarnwell" ]; then
    [[ $depends == *libglut* && $depends == *libpng* ]] || fail "Depends lacks GLUT or libpng: $depends"
fi
echo "$(basename "$deb"): $(grep -vc '/$' "$tmp/files") files; Depends: $depends"

# The desktop entry and the package as Debian's own tools see them (errors only from lintian,
# which warns about matters of taste).
dpkg-deb -x "$deb" "$tmp/root"
if [ -f "$tmp/root/usr/share/applications/tarnwell.desktop" ]; then
    desktop-file-validate "$tmp/root/usr/share/applications/tarnwell.desktop" >"$tmp/dfv.txt" 2>&1 ||
        fail "desktop-file-validate: $(cat "$tmp/dfv.txt")"
    [ -s "$tmp/dfv.txt" ] && fail "desktop-file-validate: $(cat "$tmp/dfv.txt")"
fi
lintian --fail-on error "$deb" >"$tmp/lintian.txt" 2>&1 ||
    fail "lintian: $(cat "$tmp/lintian.txt")"
! grep -q '^E:' "$tmp/lintian.txt" || fail "lintian: $(grep '^E:' "$tmp/lintian.txt")"
echo "desktop-file-validate and lintian: no error"
echo PASS
