# Thin wrapper over CMake and CTest. `make test` builds everything and runs
# every test; missing Debian packages are installed by tools/install-deps.sh.
BUILD  ?= build
ASAN   ?= build-asan
WIN32B ?= build-win32
BENCH  ?= build-bench
JOBS   ?= 2
CMAKE  ?= cmake
FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := scorevox_load scorevox_render blockvox_load blockvox_render dryvox_load dryvox_render

.PHONY: all build test test-unit test-asan test-win32 test-fuzz win32 bench deps demo clean \
        fuzz fuzz-build fuzz-long fuzz-cov

all: build

deps:
	@tools/install-deps.sh base tools

build: deps
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD) -j$(JOBS)

# The demo, from its sources in demo/: builds vox and the libraries, then
# renders demo.wav and its captions into $(BUILD)/demo.
demo: build
	demo/render.sh $(BUILD) $(BUILD)/demo

# The whole suite: the tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer, the 32-bit Windows DLLs under Wine (skipped,
# with a notice, when the toolchain or Wine is missing), every fuzz target for
# a bounded time, and last the release build's tests, whose summary closes
# the output.
test: test-asan test-win32 test-fuzz test-unit

test-unit: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-asan: deps
	$(CMAKE) -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOX_SANITIZE=ON
	$(CMAKE) --build $(ASAN) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN) --output-on-failure -j$(JOBS)

# The 32-bit Windows DLLs, cross-built with MinGW-w64: $(WIN32B)/scorevox32.dll,
# blockvox32.dll, dryvox32.dll.
win32:
	@tools/install-deps.sh win32
	$(CMAKE) -S . -B $(WIN32B) -DCMAKE_TOOLCHAIN_FILE=cmake/i686-w64-mingw32.cmake -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(WIN32B) -j$(JOBS)

test-win32: build
	@tools/install-deps.sh win32 || echo "note: the Windows toolchain could not be installed; its tests are skipped"
	VOX_WIN32_BUILD=$(WIN32B) JOBS=$(JOBS) tools/run-win32-tests.sh $(BUILD)

# The benchmarks (Google Benchmark), in a release build of their own: the
# loaders against a plain fread, then each renderer against its reference
# path in one process per library. The last line printed is the renderers'
# speed-up.
RENDER_BENCH_ARGS ?= --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
bench: deps
	$(CMAKE) -S . -B $(BENCH) -DCMAKE_BUILD_TYPE=Release -DVOX_BENCH=ON -DVOX_TESTS=OFF
	$(CMAKE) --build $(BENCH) -j$(JOBS)
	$(BENCH)/bench/load_bench
	for lib in scorevox blockvox dryvox; do \
	  $(BENCH)/bench/$${lib}_render_bench $(RENDER_BENCH_ARGS) \
	    --benchmark_out=$(BENCH)/$${lib}_render.json --benchmark_out_format=json || exit 1; \
	done
	@awk -f bench/speedup.awk $(BENCH)/scorevox_render.json $(BENCH)/blockvox_render.json \
	  $(BENCH)/dryvox_render.json

# Fuzzing: libFuzzer targets built with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in $(FUZZ_BUILD). `make fuzz` runs each target
# for FUZZ_SECONDS (two at a time) and fails on any finding;
# `make fuzz-long TARGET=scorevox_render SECONDS=3600` runs one for longer;
# `make fuzz-cov` reports the engine lines that the corpora reach.
test-fuzz: fuzz

fuzz-build:
	@tools/install-deps.sh base fuzz
	CC=clang CXX=clang++ $(CMAKE) -S . -B $(FUZZ_BUILD) -DVOX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	$(CMAKE) --build $(FUZZ_BUILD) -j$(JOBS)
	python3 fuzz/make-seeds.py $(FUZZ_BUILD)/seeds

fuzz: fuzz-build
	$(MAKE) --no-print-directory -j$(JOBS) $(addprefix fuzz-run-,$(FUZZ_TARGETS))

fuzz-run-%:
	@fuzz/run.sh $* $(FUZZ_SECONDS) $(FUZZ_BUILD)

fuzz-long: fuzz-build
	@test -n "$(TARGET)" || { echo "usage: make fuzz-long TARGET=<one of: $(FUZZ_TARGETS)> SECONDS=<n>"; exit 2; }
	fuzz/run.sh $(TARGET) $(or $(SECONDS),600) $(FUZZ_BUILD)

fuzz-cov: fuzz-build
	fuzz/coverage.sh $(FUZZ_BUILD) $(FUZZ_BUILD)-cov

clean:
	rm -rf $(BUILD) $(ASAN) $(WIN32B) $(BENCH) $(FUZZ_BUILD) $(FUZZ_BUILD)-cov
