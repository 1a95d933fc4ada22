# make run    builds Vesmor.exe and starts it under Wine in the sandbox
# make test   builds every tree and runs every test
# make fuzz   runs each fuzz target for FUZZ_SECONDS
# make bench  measures Vesmor.exe beside a bare window program
# Each target installs the Debian packages it needs first.

BUILD   ?= build
HOST    := $(BUILD)/host
ASAN    := $(BUILD)/asan
FUZZ    := $(BUILD)/fuzz
WIN     := $(BUILD)/win
JOBS    ?= $(shell nproc)
SANDBOX := tests/sandbox/run-in-sandbox

HOST_PACKAGES := cmake make g++ libgtest-dev googletest python3
FUZZ_PACKAGES := cmake make clang libclang-rt-14-dev
FUZZ_TARGETS  := TimeReplyFuzz:time_reply RegistryPathFuzz:registry_path
FUZZ_SECONDS  ?= 600
# Wine's recommended X and font packages are listed by name, so that
# --no-install-recommends still gives windows that draw and text that shows.
WIN_PACKAGES  := cmake make g++-mingw-w64-x86-64-posix googletest wine wine64 \
                 xvfb xdotool x11-utils imagemagick fonts-wqy-microhei fonts-wine locales python3 iproute2 \
                 libxrender1 libxcursor1 libxi6 libxrandr2 libxinerama1 libxcomposite1 libxfixes3

.PHONY: all run bench test host asan win fuzz fuzz-build host-deps win-deps fuzz-deps clean

all: host win

host-deps:
	@tools/install-deps.sh $(HOST_PACKAGES)

win-deps:
	@tools/install-deps.sh $(WIN_PACKAGES)

fuzz-deps:
	@tools/install-deps.sh $(FUZZ_PACKAGES)

host: host-deps
	cmake -S . -B $(HOST) -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(HOST) -j $(JOBS)

# The unit tests again, under AddressSanitizer and UBSan.
asan: host-deps
	cmake -S . -B $(ASAN) -DCMAKE_BUILD_TYPE=Debug -DVESMOR_SANITIZE=ON
	cmake --build $(ASAN) -j $(JOBS)

fuzz-build: fuzz-deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESMOR_FUZZ=ON
	cmake --build $(FUZZ) -j $(JOBS)

fuzz: fuzz-build
	tools/fuzz.sh $(FUZZ) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

win: win-deps
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
	cmake --build $(WIN) -j $(JOBS)

test: host asan win fuzz-build
	ctest --test-dir $(HOST) --output-on-failure
	ctest --test-dir $(ASAN) --output-on-failure -E TimeServerTest
	$(MAKE) --no-print-directory fuzz FUZZ_SECONDS=30
	$(SANDBOX) $(WIN) ctest --test-dir $(WIN) --output-on-failure

run: win
	VESMOR_USE_HOST_DISPLAY=$${DISPLAY:+1} $(SANDBOX) $(WIN) tools/run-vesmor.sh $(WIN)

BENCH_RUNS ?= 11
bench: win
	$(SANDBOX) $(WIN) python3 tools/bench.py $(WIN) $(BENCH_RUNS)

clean:
	rm -rf $(BUILD)
