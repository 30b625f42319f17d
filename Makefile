# make test: install what is missing, build, run every test under Wine.
# make demo: build, install with the installer into the private Wine prefix, open Wine's explorer.
BUILD ?= build
CMAKE_FLAGS ?=
JOBS ?= $(shell nproc)

.PHONY: all deps configure build test demo clean bench bench-thumbs bench-copyout bench-serial bench-ptpip

all: build

deps:
	@tools/install-deps.sh

configure: deps
	@test -f $(BUILD)/CMakeCache.txt || cmake -S . -B $(BUILD) \
	    -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake $(CMAKE_FLAGS)

build: configure
	cmake --build $(BUILD) -j $(JOBS)

# A test program that Wine fails to start now and then (it dies in 0.02 s
# without a line of output) gets one more run; a real failure fails twice.
test: build
	BUILD_DIR=$(abspath $(BUILD)) tools/wine-session.sh \
	    ctest --test-dir $(BUILD) --output-on-failure --timeout 300 --repeat until-pass:2

demo: build
	BUILD_DIR=$(abspath $(BUILD)) tools/demo.sh

clean:
	rm -rf $(BUILD)

# Native fuzzing of the picture core for a bounded time (FUZZ_SECONDS each).
.PHONY: fuzz
fuzz:
	tools/fuzz.sh

# The long hardening runs: fuzzers, lifetime and random user actions (tools/soak.sh, ~30 min).
.PHONY: soak
soak: build
	BUILD_DIR=$(abspath $(BUILD)) tools/soak.sh

# Codec timings under Wine beside native djpeg (bench/run.sh).
bench: build
	BUILD_DIR=$(abspath $(BUILD)) bench/run.sh

# Thumbnail control timings under Wine (bench/thumbs.sh).
bench-thumbs: build
	BUILD_DIR=$(abspath $(BUILD)) bench/thumbs.sh

# Copying pictures out through the data object beside a plain copy (bench/copyout.sh).
bench-copyout: build
	BUILD_DIR=$(abspath $(BUILD)) bench/copyout.sh

# The serial camera driver against a camera pacing 115200 bps (bench/serial.sh).
bench-serial: build
	BUILD_DIR=$(abspath $(BUILD)) bench/serial.sh

# The network camera driver against the PTP/IP simulator, capped like Wi-Fi (bench/ptpip.sh).
bench-ptpip: build
	BUILD_DIR=$(abspath $(BUILD)) bench/ptpip.sh
