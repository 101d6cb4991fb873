#!/usr/bin/env bash
# tarnwell-sim under node (WebAssembly) against the native SSE2 build: the same seed and
# settings must give the same dump, byte for byte. Both compute in IEEE single precision in
# the order the source writes, without contraction, so any difference is a fault (a libm
# function that rounds differently, a contracted multiply-add, a stray double).
#   $1: folder of tarnwell-sim.js   $2: source folder
# Exits 77 (skipped) while the native release build does not exist.
set -u
web_dir=$(cd "$1" && pwd)
web="$web_dir/tarnwell-sim.js"
native="$2/build/release/tarnwell-sim"
[ -f "$web" ] || { echo "FAIL: $web is not built"; exit 1; }
[ -x "$native" ] || { echo "SKIP: $native is not built"; exit 77; }
command -v node >/dev/null || { echo "FAIL: node is not installed"; exit 1; }
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
failed=0

. "$2/tests/compare/seeded_scenes.bash"
write_scene_settings "$tmp"
# Every thread count gives the native bits: one thread, two (the pipelined passes hand rows
# between threads) and three (more threads than this machine's cores, and an odd count), each
# without a word on stderr.
while read -r name config seed steps extra; do
    "$native" --config "$tmp/$config.ini" --seed "$seed" --steps "$steps" $extra \
        --dump "$tmp/$name.native" >/dev/null 2>&1 || { echo "FAIL: native $name"; exit 1; }
    for threads in 1 2 3; do
        # Relative paths on purpose: node must see the working folder as the native tool does.
        (cd "$tmp" && node "$web" --config "$config.ini" --seed "$seed" --steps "$steps" \
            --threads $threads $extra --dump "$name.web" >/dev/null 2>"$tmp/err") ||
            { echo "FAIL: node $name --threads $threads: status $?"; cat "$tmp/err"; failed=1; continue; }
        if cmp -s "$tmp/$name.native" "$tmp/$name.web"; then
            echo "same: $name, --threads $threads ($(wc -l <"$tmp/$name.web") lines)"
        else
            echo "FAIL: $name --threads $threads differs: $(cmp "$tmp/$name.native" "$tmp/$name.web" | head -1)"
            diff "$tmp/$name.native" "$tmp/$name.web" | head -4
            failed=1
        fi
        if [ -s "$tmp/err" ]; then
            echo "FAIL: $name --threads $threads says something:"; cat "$tmp/err"; failed=1
        fi
        rm -f "$tmp/$name.web"
    done
done < <(seeded_scenes)
# The program's own choice (0) is quiet too, and takes no more threads than the workers the
# module starts with.
node "$web" --seed 3 --steps 2 --threads 0 >"$tmp/out" 2>"$tmp/err"
status=$?
[ $status = 0 ] && [ ! -s "$tmp/err" ] && grep -Eq ', ([1-8] of )?[1-8] threads?[ ,]' "$tmp/out" ||
    { echo "FAIL: --threads 0: status $status"; cat "$tmp/err" "$tmp/out"; failed=1; }
# More threads than the module has workers for: it runs with all it has instead of waiting for
# a worker that cannot start, and the warning names the setting and both counts, once.
node "$web" --seed 3 --steps 2 --threads 256 >"$tmp/out" 2>"$tmp/err"
status=$?
[ $status = 0 ] && [ "$(grep -c . "$tmp/err")" = 1 ] &&
    grep -q '^warning: threads = 256: this build starts at most 8 threads' "$tmp/err" &&
    grep -q ', 8 threads,' "$tmp/out" ||
    { echo "FAIL: --threads 256: status $status"; cat "$tmp/err" "$tmp/out"; failed=1; }

# The tool's own checks and exit statuses hold under node too: a refused setting is status 1
# with the key named, a bad argument status 2, a missing file status 2.
printf '[phys]\ncount=70000\n' >"$tmp/refused.ini"
node "$web" --config "$tmp/refused.ini" --steps 1 >"$tmp/out" 2>&1
status=$?
grep -q 'count = 70000 (the file says "70000") is not accepted' "$tmp/out" && [ $status = 1 ] ||
    { echo "FAIL: refused settings: status $status"; cat "$tmp/out"; failed=1; }
node "$web" --steps -3 >"$tmp/out" 2>&1
status=$?
[ $status = 2 ] || { echo "FAIL: --steps -3: status $status"; failed=1; }
node "$web" --config "$tmp/absent.ini" >"$tmp/out" 2>&1
status=$?
[ $status = 1 ] && grep -q 'cannot read' "$tmp/out" ||
    { echo "FAIL: missing --config file: status $status"; failed=1; }
# Beside the tool: without --config it reads config.ini from its own folder, wherever it runs.
(cd "$tmp" && node "$web" --seed 3 --steps 2 >"$tmp/out" 2>&1) &&
    grep -q "config $web_dir/config.ini" "$tmp/out" ||
    { echo "FAIL: default config not beside the tool:"; head -2 "$tmp/out"; failed=1; }
[ $failed = 0 ] && echo PASS
exit $failed
