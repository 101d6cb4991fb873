#pragma once

// Which code computes the floats. The SSE2 paths round every lane exactly like the portable
// scalar code beside them, so both give the same bits; they are taken only where floats live in
// SSE registers (-mfpmath=sse). The x87 build and other processors take the portable paths.
// WebAssembly takes them too when built with 128-bit SIMD (-msimd128 -msse2): emscripten
// translates the SSE2 intrinsics into WebAssembly's, whose float lanes round every operation to
// IEEE single precision as SSE2's do.
#if defined(__SSE2__) && (defined(__SSE2_MATH__) || defined(__wasm_simd128__))
#define TARNWELL_SSE2_PATH 1
#else
#define TARNWELL_SSE2_PATH 0
#endif

// Every float operation rounds to single precision at once (no wider intermediates), so results
// are the same bits on every such build: SSE2, ARM64, any IEEE single-precision unit.
#if defined(__FLT_EVAL_METHOD__) && __FLT_EVAL_METHOD__ == 0
#define TARNWELL_EXACT_FLOAT 1
#else
#define TARNWELL_EXACT_FLOAT 0
#endif
