# make run   builds Vesmor.exe and starts it under Wine in the sandbox
# make test  builds both trees and runs every test
# Each target installs the Debian packages it needs first.

BUILD   ?= build
HOST    := $(BUILD)/host
WIN     := $(BUILD)/win
JOBS    ?= $(shell nproc)
SANDBOX := tests/sandbox/run-in-sandbox

HOST_PACKAGES := cmake make g++ libgtest-dev googletest python3
# Wine's recommended X and font packages are listed by name, so that
# --no-install-recommends still gives windows that draw and text that shows.
WIN_PACKAGES  := cmake make g++-mingw-w64-x86-64-posix googletest wine wine64 \
                 xvfb xdotool imagemagick fonts-wqy-microhei fonts-wine locales python3 iproute2 \
                 libxrender1 libxcursor1 libxi6 libxrandr2 libxinerama1 libxcomposite1 libxfixes3

.PHONY: all run test host win host-deps win-deps clean

all: host win

host-deps:
	@tools/install-deps.sh $(HOST_PACKAGES)

win-deps:
	@tools/install-deps.sh $(WIN_PACKAGES)

host: host-deps
	cmake -S . -B $(HOST) -DCMAKE_BUILD_TYPE=Debug
	cmake --build $(HOST) -j $(JOBS)

win: win-deps
	cmake -S . -B $(WIN) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=MinSizeRel
	cmake --build $(WIN) -j $(JOBS)

test: host win
	ctest --test-dir $(HOST) --output-on-failure
	$(SANDBOX) $(WIN) ctest --test-dir $(WIN) --output-on-failure

run: win
	$(SANDBOX) $(WIN) tools/run-vesmor.sh $(WIN)

clean:
	rm -rf $(BUILD)
