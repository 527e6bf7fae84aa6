# Front door: `make` builds, `make test` builds and runs every test, `make run` shows Portwell at work.
BUILD := build
SANITIZE_BUILD := build-sanitize
FUZZ_SECONDS ?= 60
JOBS ?= $(shell nproc)

.PHONY: all deps build test test-sanitize fuzz run bench package clean format

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

# Each fuzz harness for FUZZ_SECONDS seconds: `make fuzz` is a one-minute smoke run each.
fuzz: deps
	@FUZZ_SECONDS=$(FUZZ_SECONDS) JOBS=$(JOBS) scripts/fuzz

run: build
	@$(BUILD)/bin/portwell-cli run -d loop:// examples/loopback.ksl

bench: build
	@bench/run-all $(BUILD)

# A Debian package of the programs, the menu entry and the examples, in build/.
package: build
	@cmake --build $(BUILD) --target package

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD) build-fuzz build-fuzz-afl
