#!/usr/bin/env bash
# The WebAssembly modules really take the SSE2 paths as WebAssembly SIMD, not the portable
# scalar code beside them: each holds the instructions those paths translate to, which the
# same sources compiled without -msse2 do not give even with -msimd128 (the compiler does not
# vectorise the scalar paths into them): the neighbour scan's movemask (i32x4.bitmask), the
# pair forces' four square roots (f32x4.sqrt) and the outline's cone test (f32x4.le).
# Binaryen's wasm-dis (a dependency of Debian's emscripten) reads the modules.
#   $1: the web build folder
set -u
command -v wasm-dis >/dev/null || { echo "FAIL: wasm-dis (binaryen) is not installed"; exit 1; }
failed=0
for module in tarnwell-sim tarnwell tarnwell-one-thread; do
    wasm="$1/$module.wasm"
    [ -f "$wasm" ] || { echo "FAIL: $wasm is not built"; failed=1; continue; }
    text=$(wasm-dis "$wasm") || { echo "FAIL: wasm-dis cannot read $wasm"; failed=1; continue; }
    counts=""
    for instruction in i32x4.bitmask f32x4.sqrt f32x4.le; do
        n=$(grep -c "($instruction\b" <<<"$text")
        counts="$counts $instruction $n"
        [ "$n" -gt 0 ] || { echo "FAIL: $module.wasm has no $instruction"; failed=1; }
    done
    echo "$module.wasm:$counts"
done
[ $failed = 0 ] && echo PASS
exit $failed
