// The one main of bench_primitives: every bench/primitives/*.cpp registers its cases statically.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
