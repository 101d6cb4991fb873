# cmake --install into a prefix of its own: both programs start from there through PATH, from
# another folder, and find their settings, shaders and scenes in ../share/tarnwell.
source "$(dirname "$0")/x11_common.bash" || { echo "FAIL: x11_common.bash missing" >&2; exit 1; }

prefix="$work/prefix"
cmake --install "$bin_dir" --prefix "$prefix" >"$work/install.txt" 2>&1 ||
    fail "cmake --install: $(tail -5 "$work/install.txt")"
data="$prefix/share/tarnwell"
for f in bin/tarnwell bin/tarnwell-sim share/tarnwell/config.ini share/tarnwell/vs.glsl \
         share/tarnwell/fs.glsl share/tarnwell/scenes/dam_break.ini \
         share/applications/tarnwell.desktop share/icons/hicolor/scalable/apps/tarnwell.svg \
         share/man/man6/tarnwell.6.gz share/man/man1/tarnwell-sim.1.gz; do
    [ -f "$prefix/$f" ] || fail "cmake --install did not put $f in place"
done
mkdir -p "$work/elsewhere"
cd "$work/elsewhere" || fail "no working folder"
export PATH="$prefix/bin:$PATH"

tarnwell-sim --scene dam_break --seed 1 --steps 10 >"$work/out.txt" 2>"$work/err.txt" ||
    fail "installed tarnwell-sim --scene dam_break: exit status $?"
grep -q "config $data/config.ini, scene dam_break" "$work/out.txt" ||
    fail "tarnwell-sim did not read the installed settings: $(head -3 "$work/out.txt")"
echo "tarnwell-sim: $(grep -m1 '^tarnwell-sim: config' "$work/out.txt")"

# Mode 2 needs the installed shaders.
mkdir -p "$work/xdg/tarnwell"
printf '[graph]\nrender_type=2\n' >"$work/xdg/tarnwell/config.ini"
XDG_CONFIG_HOME="$work/xdg" tarnwell --seed 2 --frames 30 --screenshot shot.png \
    >"$work/out.txt" 2>"$work/err.txt" || fail "installed tarnwell: exit status $?"
grep -qxF "Load config from file: $work/xdg/tarnwell/config.ini" "$work/out.txt" ||
    fail "tarnwell did not read the user's file"
grep -q 'not available' "$work/out.txt" && fail "mode 2 without the installed shaders"
[ "$(identify -format '%wx%h' shot.png)" = 740x740 ] || fail "screenshot $(identify -format '%wx%h' shot.png)"
lit=$(region_lit shot.png 0 370 740 370)
awk -v v="$lit" 'BEGIN { exit !(v > 0.1) }' || fail "no fluid in the lower half ($lit)"
cp shot.png "${TARNWELL_SHOT_DIR:-$work}/installed.png" 2>/dev/null || true
tarnwell --frames 1 >"$work/out.txt" 2>"$work/err.txt" || fail "installed tarnwell: exit status $?"
grep -qxF "Load config from file: $data/config.ini" "$work/out.txt" ||
    fail "without a user file: not the installed config.ini: $(grep Load "$work/out.txt")"
echo "tarnwell: mode 2 from the installed shaders, lower half lit $lit; settings $data/config.ini"
echo "PASS"
