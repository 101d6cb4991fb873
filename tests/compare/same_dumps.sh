#!/usr/bin/env bash
# Another compiler or processor gives the very same bits: a seeded scene dumped by the x86-64 GCC
# release build and by this build must be byte-identical. The flow is chaotic, so a
# single differently rounded operation anywhere grows into visibly different dumps within a few
# hundred steps.
#   $1: folder of the reference tarnwell-sim   $2: folder of the one under test
#   $3: scene (a name from the table below; one test per scene lets ctest run them side by side)
#   $4...: emulator command that runs the one under test (qemu-aarch64 -L ...), if any
# Exits 77 (skipped) when the reference build is missing.
set -u
ref="$1/tarnwell-sim"
sim="$2/tarnwell-sim"
scene=$3
shift 3
[ -x "$ref" ] || { echo "SKIP: $ref is not built (cmake --preset release && cmake --build --preset release)"; exit 77; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
failed=0

printf '' >"$tmp/defaults.ini"
printf '[graph]\npoint_colors=2\n' >"$tmp/density.ini"
printf '[phys]\ngeom_count=10\n' >"$tmp/bodies10.ini"
printf '[graph]\nrender_type=1\n' >"$tmp/mode1.ini"

# name | settings | seed | steps | further arguments
found=0
while read -r name config seed steps extra; do
    [ "$name" = "$scene" ] || continue
    found=1
    for side in ref sim; do
        if [ "$side" = ref ]; then cmd=("$ref"); else cmd=("$@" "$sim"); fi
        # shellcheck disable=SC2086  # extra holds separate words
        "${cmd[@]}" --config "$tmp/$config.ini" --seed "$seed" --steps "$steps" $extra \
            --dump "$tmp/$name.$side.txt" >/dev/null ||
            { echo "FAIL: $name: $side build exited with status $?"; failed=1; continue 2; }
    done
    if cmp -s "$tmp/$name.ref.txt" "$tmp/$name.sim.txt"; then
        echo "same bits: $name ($steps steps)"
    else
        echo "FAIL: $name differs after $steps steps; first differing lines:"
        diff "$tmp/$name.ref.txt" "$tmp/$name.sim.txt" | head -n 6
        failed=1
    fi
done <<'SCENES'
defaults_stir defaults 7 600 --stir 0.3,0.2,1
defaults_push defaults 8 400 --stir 0.5,0.3,-1
density density 9 500
bodies10 bodies10 10 800
mode1 mode1 11 400 --surface
SCENES
[ $found -eq 1 ] || { echo "FAIL: no scene named '$scene'"; exit 1; }
exit $failed
