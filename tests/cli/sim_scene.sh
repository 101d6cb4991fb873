#!/usr/bin/env bash
# Scenes from the command line: --scene help lists the scenes beside the tool, --scene box is the
# run without a scene bit for bit, a scene that cannot be read or is refused is status 1 with the
# file and the line named, and a scene's settings reach the run.
set -u
bin=$(cd "$1" && pwd)
sim="$bin/tarnwell-sim"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

# The scenes beside a copy of the tool, listed box first, each with its about line.
mkdir -p "$tmp/tool/scenes"
cp "$sim" "$tmp/tool/"
printf '[scene]\nabout = water falls\n' >"$tmp/tool/scenes/waterfall.ini"
printf '[scene]\nabout = a jet\n' >"$tmp/tool/scenes/fountain.ini"
printf '[scene]\nfluid = rect 0 0\n' >"$tmp/tool/scenes/broken.ini"
"$tmp/tool/tarnwell-sim" --scene help >"$tmp/out" 2>"$tmp/err"; rc=$?
[ "$rc" -eq 0 ] || fail "--scene help gave status $rc: $(cat "$tmp/err")"
[ "$(cut -d' ' -f1 "$tmp/out" | tr '\n' ' ')" = "box broken fountain waterfall " ] ||
    fail "--scene help lists: $(cat "$tmp/out")"
grep -q '^waterfall  *water falls$' "$tmp/out" || fail "no about line: $(cat "$tmp/out")"
grep -q '^broken  *(refused' "$tmp/out" || fail "a broken scene is not marked: $(cat "$tmp/out")"

# --scene box, and the box named in the settings file, dump what no scene dumps, at 1 and 2 threads.
printf '[graph]\nscene=box\n' >"$tmp/box_setting.ini"
for threads in 1 2; do
    "$sim" --seed 5 --steps 20 --threads $threads --dump "$tmp/plain$threads" >/dev/null 2>&1 ||
        fail "plain run"
    "$sim" --scene box --seed 5 --steps 20 --threads $threads --dump "$tmp/box$threads" \
        >"$tmp/out" 2>&1 || fail "--scene box: $(cat "$tmp/out")"
    grep -q 'scene box,' "$tmp/out" || fail "the scene is not named: $(cat "$tmp/out")"
    "$sim" --config "$tmp/box_setting.ini" --seed 5 --steps 20 --threads $threads \
        --dump "$tmp/setting$threads" >/dev/null 2>&1 || fail "scene=box"
    cmp -s "$tmp/plain$threads" "$tmp/box$threads" || fail "--scene box changed the dump ($threads)"
    cmp -s "$tmp/plain$threads" "$tmp/setting$threads" || fail "scene=box changed the dump"
done

# An unknown name names the file it looked for; a refused file names its line; both status 1.
"$sim" --scene no_such_scene --steps 1 >"$tmp/out" 2>"$tmp/err"; rc=$?
[ "$rc" -eq 1 ] || fail "--scene no_such_scene gave status $rc"
grep -qF "cannot read the scene file '$bin/scenes/no_such_scene.ini'" "$tmp/err" ||
    fail "unknown scene: $(cat "$tmp/err")"
printf '[scene]\nabout = two mistakes\nfluid = rect 0 0 1\nbody = box 2 0.5 0.1 0.1 0 1\n' \
    >"$tmp/bad.ini"
"$sim" --scene "$tmp/bad.ini" --steps 1 >"$tmp/out" 2>"$tmp/err"; rc=$?
[ "$rc" -eq 1 ] || fail "a refused scene gave status $rc"
grep -qF "error: $tmp/bad.ini:3: 'fluid = rect 0 0 1': 3 numbers where 4 are needed" "$tmp/err" ||
    fail "line 3 not named: $(cat "$tmp/err")"
grep -qF "error: $tmp/bad.ini:4: 'body = box 2 0.5 0.1 0.1 0 1': X = 2 is out of range" \
    "$tmp/err" || fail "line 4 not named: $(cat "$tmp/err")"
[ -s "$tmp/out" ] && fail "a refused scene still ran: $(cat "$tmp/out")"
"$sim" --scene '' --steps 1 >/dev/null 2>"$tmp/err"; rc=$?
[ "$rc" -eq 2 ] || fail "--scene '' gave status $rc"

# The scene's [phys] keys win over the settings file's; its fluid blocks give the count.
printf '[phys]\ncount=900\ngeom_count=0\n' >"$tmp/settings.ini"
printf '[scene]\n[phys]\ncount=700\n' >"$tmp/count.ini"
"$sim" --config "$tmp/settings.ini" --scene "$tmp/count.ini" --seed 1 --steps 1 >"$tmp/out" 2>&1
grep -q ', 700 particles' "$tmp/out" || fail "the scene's count: $(cat "$tmp/out")"
printf '[scene]\nspacing = 1\nfluid = rect 0 0 0.5 0.5\n' >"$tmp/block.ini"
"$sim" --config "$tmp/settings.ini" --scene "$tmp/block.ini" --seed 1 --steps 1 >"$tmp/out" 2>&1
particles=$(sed -n 's/.*seed [0-9]*, \([0-9]*\) particles.*/\1/p' "$tmp/out")
[ -n "$particles" ] && [ "$particles" -gt 0 ] && [ "$particles" -ne 900 ] ||
    fail "a fluid block's count: $(cat "$tmp/out")"

"$sim" --help | grep -q -- '--scene NAME|PATH' || fail "--help does not document --scene"
exit $failed
