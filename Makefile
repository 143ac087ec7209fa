# Thin wrapper over CMake and CTest. `make test` builds everything and runs
# every test; missing Debian packages are installed by tools/install-deps.sh.
BUILD  ?= build
ASAN   ?= build-asan
BENCH  ?= build-bench
JOBS   ?= 2
CMAKE  ?= cmake

.PHONY: all build test test-unit test-asan bench deps clean

all: build

deps:
	@tools/install-deps.sh base

build: deps
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD) -j$(JOBS)

# The whole suite: the release build, then the same tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer.
test: test-asan test-unit

test-unit: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-asan: deps
	$(CMAKE) -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOX_SANITIZE=ON
	$(CMAKE) --build $(ASAN) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN) --output-on-failure -j$(JOBS)

# The benchmarks (Google Benchmark), in a release build of their own. The
# renderers run against their reference path in one process per library; the
# last line printed is the speed-up of the engine's renderers.
RENDER_BENCH_ARGS ?= --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
bench: deps
	$(CMAKE) -S . -B $(BENCH) -DCMAKE_BUILD_TYPE=Release -DVOX_BENCH=ON -DVOX_TESTS=OFF
	$(CMAKE) --build $(BENCH) -j$(JOBS)
	for lib in scorevox blockvox dryvox; do \
	  $(BENCH)/bench/$${lib}_render_bench $(RENDER_BENCH_ARGS) \
	    --benchmark_out=$(BENCH)/$${lib}_render.json --benchmark_out_format=json || exit 1; \
	done
	@awk -f bench/speedup.awk $(BENCH)/scorevox_render.json $(BENCH)/blockvox_render.json \
	  $(BENCH)/dryvox_render.json

clean:
	rm -rf $(BUILD) $(ASAN) $(BENCH)
