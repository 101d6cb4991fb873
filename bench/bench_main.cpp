// The benchmark program's entry point; the benchmarks register themselves from the other files.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
