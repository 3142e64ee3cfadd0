# Two entry points for a fresh Debian 12 machine: `make run` and `make test`.
BUILD ?= build
JOBS  ?= $(shell nproc)
SUDO  := $(shell [ "$$(id -u)" = 0 ] || echo sudo)

.PHONY: deps build run test clean bench screenshot

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

bench: build
	bench/count-bench.sh $(BUILD)/tarvik-count

clean:
	rm -rf $(BUILD)

screenshot: build
	tools/screenshot.sh $(BUILD)
