#!/usr/bin/env bash
# Every built-in scene runs its steps headless without blowing up, and gives the same state at
# one and at three threads. The scene name in the dump is the one asked for, and the count is
# what the scene's fluid blocks hold.
#   $1: folder of tarnwell-sim   $2: source folder
# TARNWELL_SOAK_STEPS shortens the runs (the sanitizer builds).
set -u
sim="$1/tarnwell-sim"
steps=${TARNWELL_SOAK_STEPS:-2000}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failed=0
names=$(cd "$2/data/scenes" && ls ./*.ini | sed 's|^./||; s|[.]ini$||')
[ -n "$names" ] || { echo "FAIL: no scenes in $2/data/scenes"; exit 1; }
for name in $names; do
    for t in 1 3; do
        if ! "$sim" --scene "$name" --seed 5 --steps "$steps" --threads "$t" \
            --dump "$tmp/$name.t$t.txt" >"$tmp/$name.t$t.out" 2>&1; then
            echo "FAIL: $name --threads $t: status $?"
            cat "$tmp/$name.t$t.out"
            failed=1
            continue
        fi
    done
    [ -f "$tmp/$name.t1.txt" ] && [ -f "$tmp/$name.t3.txt" ] || continue
    if ! cmp -s "$tmp/$name.t1.txt" "$tmp/$name.t3.txt"; then
        echo "FAIL: $name: the dumps at 1 and 3 threads differ"
        failed=1
    fi
    header=$(head -n 1 "$tmp/$name.t1.txt")
    case "$header" in
    *" step=$steps "*"scene=$name "*) ;;
    *) echo "FAIL: $name: header '$header'"; failed=1 ;;
    esac
    echo "ok: $name ($header)"
done
exit $failed
