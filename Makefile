# Thin wrapper over CMake and CTest. `make test` builds everything and runs
# every test; missing Debian packages are installed by tools/install-deps.sh.
BUILD  ?= build
ASAN   ?= build-asan
JOBS   ?= 2
CMAKE  ?= cmake

FUZZ_BUILD   ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := scorevox_load scorevox_render blockvox_load blockvox_render dryvox_load dryvox_render

.PHONY: all build test test-unit test-asan test-fuzz deps clean fuzz fuzz-build fuzz-long fuzz-cov

all: build

deps:
	@tools/install-deps.sh base

build: deps
	$(CMAKE) -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	$(CMAKE) --build $(BUILD) -j$(JOBS)

# The whole suite: the release build, then the same tests built with
# AddressSanitizer and UndefinedBehaviorSanitizer, then every fuzz target for
# a bounded time.
test: test-asan test-unit test-fuzz

test-unit: build
	ctest --test-dir $(BUILD) --output-on-failure -j$(JOBS)

test-asan: deps
	$(CMAKE) -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOX_SANITIZE=ON
	$(CMAKE) --build $(ASAN) -j$(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --test-dir $(ASAN) --output-on-failure -j$(JOBS)

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
	rm -rf $(BUILD) $(ASAN) $(FUZZ_BUILD) $(FUZZ_BUILD)-cov
