# Front door: `make` builds, `make test` builds and runs every test, `make run` shows Portwell at work.
BUILD := build
SANITIZE_BUILD := build-sanitize
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)

.PHONY: all deps build test test-sanitize differential fuzz soak run bench package clean format

all: build

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

test-sanitize: deps
	@cmake -S . -B $(SANITIZE_BUILD) -DPORTWELL_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
	@cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	@cd $(SANITIZE_BUILD) && ctest --output-on-failure -j $(JOBS)

# The engine as text, with its cache and compiled, on DIFF_COUNT random programs from a random seed.
DIFF_COUNT ?= 20000
differential: build
	@seed=$$(od -An -N4 -tu4 /dev/urandom | tr -d ' '); echo "differential: seed $$seed"; \
	KSL_DIFF_SEED=$$seed KSL_DIFF_COUNT=$(DIFF_COUNT) \
	  $(BUILD)/bin/engine_tests --gtest_filter='Differential.*'

# Each fuzz harness for FUZZ_SECONDS seconds: `make fuzz` is a one-minute smoke run each.
fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) scripts/fuzz

# A loop of 10,000 request-and-reply passes on loop://: memory must stay flat.
soak: build
	@scripts/soak $(BUILD)

# With a display: the window, on a demo settings file that holds the examples as macros and
# loop:// as the device (made once, so what you store there stays). Without: one example on loop://.
DEMO_SETTINGS := $(BUILD)/demo-settings.ini
run: build
	@if [ -n "$$DISPLAY$$WAYLAND_DISPLAY" ] && [ -x $(BUILD)/bin/portwell ]; then \
	  [ -f $(DEMO_SETTINGS) ] || $(BUILD)/bin/portwell-demo-settings $(DEMO_SETTINGS) \
	    examples/loopback.ksl $$(ls examples/*.ksl | grep -v loopback); \
	  $(BUILD)/bin/portwell --settings $(DEMO_SETTINGS); \
	else \
	  $(BUILD)/bin/portwell-cli run -d loop:// examples/loopback.ksl; \
	fi

bench: build
	@bench/run-all $(BUILD)

# A Debian package of the programs, the menu entry and the examples, in build/.
package: build
	@cmake --build $(BUILD) --target package

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) build-fuzz build-fuzz-afl
