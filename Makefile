# Two entry points for a fresh Debian 12 machine: `make run` and `make test`.
BUILD ?= build
FUZZ_BUILD ?= build-fuzz
JOBS  ?= $(shell nproc)
SUDO  := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

PREFIX ?= /usr/local

.PHONY: deps build run test test-sanitize fuzz-smoke clean bench screenshot package install test-install

deps:
	@missing=$$(grep -v '^\s*#' debian-packages.txt | xargs -r dpkg-query -W -f='$${Package} $${Status}\n' 2>/dev/null \
	    | awk '$$4 == "installed" {print $$1}' | sort > /tmp/.tarvik-have; \
	    grep -v '^\s*#' debian-packages.txt | sed '/^\s*$$/d' | sort | comm -23 - /tmp/.tarvik-have); \
	if [ -n "$$missing" ]; then \
	    echo "Installing: $$missing"; \
	    $(SUDO) apt-get update -qq && $(SUDO) env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $$missing; \
	fi

build: deps
	cmake -S . -B $(BUILD) -G Ninja
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/tarvik

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory fuzz-smoke

# build/tarvik_<version>_amd64.deb, for `apt-get install ./build/tarvik_*.deb`.
package: build
	cd $(BUILD) && cpack -G DEB

# Installs under PREFIX (default /usr/local); DESTDIR=... stages it elsewhere.
install: build
	@if [ -n "$(DESTDIR)" ] || [ -w "$(PREFIX)" ]; then cmake --install $(BUILD) --prefix $(PREFIX); \
	else $(SUDO) cmake --install $(BUILD) --prefix $(PREFIX); fi

# The package unpacked into a temporary root (the machine is not changed) and checked there;
# apt only simulates installing it.
test-install: package
	tools/test-install.sh $(BUILD)

# The fuzz targets (clang, libFuzzer, sanitizers) in a build of their own, each run a few
# seconds over its seed corpus.
fuzz-smoke: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DTARVIK_BUILD_FUZZ=ON \
	    -DTARVIK_BUILD_GUI=OFF -DTARVIK_BUILD_TESTS=OFF -DTARVIK_BUILD_BENCH=OFF
	cmake --build $(FUZZ_BUILD) --target tarvik_fuzz -j $(JOBS)
	cd $(FUZZ_BUILD) && ctest --output-on-failure -j $(JOBS) -L fuzz

# The whole suite built with AddressSanitizer + UndefinedBehaviorSanitizer, as a Debug build so that
# Qt's index checks stay in. The options also apply while building: test discovery runs the tests.
SANITIZE_BUILD ?= build-sanitize
SANITIZE_ENV := ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:strict_init_order=1 \
	UBSAN_OPTIONS=print_stacktrace=1

test-sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DTARVIK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug -DTARVIK_BUILD_BENCH=OFF
	$(SANITIZE_ENV) cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	bench/count-bench.sh $(BUILD)/tarvik-count

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) $(FUZZ_BUILD)

screenshot: build
	tools/screenshot.sh $(BUILD)
