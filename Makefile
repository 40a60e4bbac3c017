# Entry points; see README.md. Build trees live under build/.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# The test binaries that hold multi-threaded suites; only these are built for ThreadSanitizer.
TSAN_TARGETS ?= fundrel_host_tests

.PHONY: deps build build-release demo check bench check-sanitize check-asan check-tsan clean

deps:
	@bash scripts/install-deps

build: deps
	@cmake -S . -B build/debug -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFUNDREL_BUILD_BENCH=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build/debug -j $(JOBS)

build-release: deps
	@cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DFUNDREL_BUILD_TESTS=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build/release -j $(JOBS)

demo: build-release
	@./build/release/examples/fundrel-demo
	@./build/release/examples/fundrel-info

check: build
	@cd build/debug && ctest --output-on-failure -j $(JOBS)

bench: build-release
	@mkdir -p build/bench-results
	@for b in build/release/bench/bench_*; do \
	  [ -x "$$b" ] || continue; \
	  name=$$(basename $$b); \
	  echo "== $$name"; \
	  $$b --benchmark_out=build/bench-results/$$name.json --benchmark_out_format=json || exit 1; \
	done

# Address + undefined-behaviour sanitizers over the whole suite, thread sanitizer over the
# multi-threaded tests (their test suites end in "Threads").
check-sanitize: check-asan check-tsan

check-asan: deps
	@cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DFUNDREL_SANITIZE=address,undefined \
	  -DFUNDREL_BUILD_BENCH=OFF -DFUNDREL_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build/asan -j $(JOBS)
	@cd build/asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j $(JOBS)

check-tsan: deps
	@cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DFUNDREL_SANITIZE=thread \
	  -DFUNDREL_BUILD_BENCH=OFF -DFUNDREL_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build/tsan -j $(JOBS) --target $(TSAN_TARGETS)
	@cd build/tsan && TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
	  ctest --output-on-failure -j $(JOBS) -R 'Threads\.'

clean:
	@rm -rf build
