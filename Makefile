# Builds the two Windows programs and runs every test; installs what is missing from Debian first.
#   make         both programs: dist/x86/MorvexDisabler.exe and dist/x64/MorvexDisabler.exe
#   make test    everything built, then every test (native and under Wine) through CTest
#   make run     the dialog under Wine (a screenshot in build/screenshot.png when there is no display)

SHELL := /bin/bash
ROOT := $(CURDIR)
BUILD := $(ROOT)/build
DIST := $(ROOT)/dist
JOBS ?= $(shell nproc)

# Never wine32: these machines cannot run 32-bit Linux programs, and it breaks the wine launcher.
PACKAGES := cmake make g++ python3 googletest libgtest-dev \
	g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 \
	wine wine64 xvfb x11-apps imagemagick zip

.PHONY: all deps configure build test run clean

all: build

deps:
	@missing=$$(for p in $(PACKAGES); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed$$' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  SUDO=; [ "$$(id -u)" -eq 0 ] || SUDO=sudo; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/native/Makefile:
	cmake -S . -B $(BUILD)/native -DCMAKE_BUILD_TYPE=Debug
$(BUILD)/x64/Makefile:
	cmake -S . -B $(BUILD)/x64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64.cmake -DMORVEX_DIST_DIR=$(DIST)/x64
$(BUILD)/x86/Makefile:
	cmake -S . -B $(BUILD)/x86 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake -DMORVEX_DIST_DIR=$(DIST)/x86 -DMORVEX_BUILD_TESTS=OFF

configure: deps $(BUILD)/native/Makefile $(BUILD)/x64/Makefile $(BUILD)/x86/Makefile
	@# One CTest run over both trees, so a single summary closes it.
	@printf 'subdirs("native")\nsubdirs("x64")\n' > $(BUILD)/CTestTestfile.cmake

build: configure
	cmake --build $(BUILD)/x86 -j $(JOBS)
	cmake --build $(BUILD)/x64 -j $(JOBS)
	cmake --build $(BUILD)/native -j $(JOBS)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

run: build
	tools/run-dialog.sh $(DIST)/x64/MorvexDisabler.exe $(BUILD)

clean:
	rm -rf $(BUILD) $(DIST)
