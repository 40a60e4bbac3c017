# Entry points; see README.md. Build trees live under build/.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=
# The test binaries that hold multi-threaded suites; only these are built for ThreadSanitizer.
TSAN_TARGETS ?= fundrel_host_tests fundrel_ipp_tests fundrel_buffers_tests

.PHONY: deps build build-release demo check bench check-sanitize check-asan check-tsan fuzz fuzz-host fuzz-xml clean

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
# multi-threaded tests (their test suites end in "Threads"), then the fuzz targets for a while.
check-sanitize: check-asan check-tsan fuzz

fuzz: fuzz-host fuzz-xml

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

# libFuzzer targets of the stream readers, built with clang from the host sources they need
# (nothing else of the library), each run for FUZZ_SECONDS on its growing corpus in build/fuzz.
FUZZ_CXX ?= clang++-14
FUZZ_SECONDS ?= 60
FUZZ_CXXFLAGS = -std=c++20 -g -O1 -I. -fno-omit-frame-pointer -fno-sanitize-recover=all \
  -fsanitize=address,undefined,fuzzer-no-link
FUZZ_OBJS = $(patsubst %.cpp,build/fuzz/obj/%.o,$(wildcard host/*.cpp platform/*.cpp))
FUZZ_TARGETS = build/fuzz/fuzz_component_reader build/fuzz/fuzz_cbor_reader
.SECONDARY: $(FUZZ_OBJS)

build/fuzz/obj/%.o: %.cpp
	@mkdir -p $(dir $@)
	@$(FUZZ_CXX) $(FUZZ_CXXFLAGS) -MMD -MP -c $< -o $@
-include $(FUZZ_OBJS:.o=.d)

build/fuzz/fuzz_%: tests/fuzz/fuzz_%.cpp $(FUZZ_OBJS)
	@$(FUZZ_CXX) $(FUZZ_CXXFLAGS) -fsanitize=fuzzer $^ -o $@ -lpthread -ldl

fuzz-host: deps $(FUZZ_TARGETS)
	@for t in $(FUZZ_TARGETS); do \
	  name=$$(basename $$t); mkdir -p build/fuzz/corpus/$$name; \
	  echo "== $$name ($(FUZZ_SECONDS) s)"; \
	  ASAN_OPTIONS=detect_leaks=1 $$t -max_total_time=$(FUZZ_SECONDS) -max_len=8192 -timeout=10 \
	    -print_final_stats=1 build/fuzz/corpus/$$name tests/fuzz/seeds/$$name 2>build/fuzz/$$name.log \
	    || { tail -n 60 build/fuzz/$$name.log; exit 1; }; \
	  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" build/fuzz/$$name.log; \
	done

# libFuzzer over the XML text parser and binary reader, FUZZ_SECONDS each (clang, ASan + UBSan).
fuzz-xml: deps
	@cmake -S . -B build/fuzz-xml -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 -DFUNDREL_BUILD_FUZZ=ON \
	  -DFUNDREL_BUILD_TESTS=OFF -DFUNDREL_BUILD_BENCH=OFF -DFUNDREL_BUILD_EXAMPLES=OFF $(CMAKE_FLAGS) >/dev/null
	@cmake --build build/fuzz-xml -j $(JOBS) --target FuzzXmlText FuzzXmlBinary
	@for t in Text Binary; do \
	  mkdir -p build/fuzz-xml/corpus/$$t; \
	  seeds=tests/fuzz/seeds/$$(echo $$t | tr A-Z a-z); \
	  echo "== FuzzXml$$t ($(FUZZ_SECONDS) s)"; \
	  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    build/fuzz-xml/fuzz/FuzzXml$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
	    build/fuzz-xml/corpus/$$t $$seeds 2>build/fuzz-xml/FuzzXml$$t.log || { tail -50 build/fuzz-xml/FuzzXml$$t.log; exit 1; }; \
	  grep -E "^Done|peak_rss_mb" build/fuzz-xml/FuzzXml$$t.log | tr '\n' ' '; echo; \
	done

clean:
	@rm -rf build
