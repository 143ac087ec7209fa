# Thin wrapper over CMake and CTest. `make test` builds everything and runs
# every test; missing Debian packages are installed by tools/install-deps.sh.
BUILD  ?= build
ASAN   ?= build-asan
JOBS   ?= 2
CMAKE  ?= cmake

.PHONY: all build test test-unit test-asan deps demo clean

all: build

deps:
	@tools/install-deps.sh base tools

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

# The demo, from its sources in demo/: builds vox and the libraries, then
# renders demo.wav and its captions into $(BUILD)/demo.
demo: build
	demo/render.sh $(BUILD) $(BUILD)/demo

clean:
	rm -rf $(BUILD) $(ASAN)
