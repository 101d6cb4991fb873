#!/usr/bin/env bash
# Another compiler or processor gives the very same bits: a seeded scene dumped by the x86-64 GCC
# release build and by this build must be byte-identical.
#   $1: folder of the reference tarnwell-sim   $2: folder of the one under test
#   $3: scene (a name from seeded_scenes.bash; one test per scene lets ctest run them side by side)
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

. "$(dirname "$0")/seeded_scenes.bash"
write_scene_settings "$tmp"

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
done < <(seeded_scenes)
[ $found -eq 1 ] || { echo "FAIL: no scene named '$scene'"; exit 1; }
exit $failed
