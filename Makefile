# Builds the Windows programs and runs every test; installs what is missing from Debian first.
#   make         the programs: dist/x86 and dist/x64 each hold MorvexDisabler.exe (the dialog) and
#                MorvexDisabler.com (the console program)
#   make test    everything built, then every test (native and under Wine) through CTest
#   make dist    the four programs, the administrators' README.txt and SHA256SUMS in dist/MorvexDisabler-<version>.zip;
#                beside it dist/MorvexDisabler-<version>-x64.msi and -x86.msi, and dist/SHA256SUMS of the three;
#                the programs and packages signed with SIGN_PFX=<.pfx> [SIGN_PASSWORD_FILE=<file>] [SIGN_TIMESTAMP_URL=<url>];
#                with RELEASE_URL=<address the files are published under> also the WinGet manifests in dist/winget
#   make run     the dialog under Wine (a screenshot in build/screenshot.png when there is no display)
#   make fuzz    the fuzzers (stored value, DSC instance, arguments) for FUZZ_SECONDS (600) each, on copies of
#                their seed corpora in tests/fuzz
#   make bench   start-up, peak memory and size against a bare dialog program, into docs/performance.md
#   make pictures  the main dialog and the About box at 96 and 144 DPI, into docs/*-96.png and docs/*-144.png

SHELL := /bin/bash
ROOT := $(CURDIR)
BUILD := $(ROOT)/build
DIST := $(ROOT)/dist
JOBS ?= $(shell nproc)
VERSION := $(shell sed -n 's/^project.MorvexDisabler VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

PACKAGES := cmake make g++ python3 googletest libgtest-dev \
	g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64 \
	wine wine64 fonts-wine xvfb x11-apps imagemagick zip clang libclang-rt-14-dev osslsigncode openssl \
	rapidjson-dev python3-jsonschema wixl msitools faketime python3-yaml
# 32-bit Wine, for the x86 program's tests; only where the machine runs 32-bit programs, since
# elsewhere it breaks the wine launcher for the x64 program too.
PACKAGES_32BIT := wine32:i386
FUZZ_SECONDS ?= 600

.PHONY: all deps configure build test dist run fuzz bench pictures clean

all: build

deps:
	@wanted="$(PACKAGES)"; \
	if tools/runs-32bit.sh; then wanted="$$wanted $(PACKAGES_32BIT)"; \
	else echo "This machine cannot run 32-bit programs: 32-bit Wine is left out, and the x86 tests will be skipped."; \
	  ! dpkg-query -W -f='$${Status}\n' $(PACKAGES_32BIT) 2>/dev/null | grep -q 'ok installed' \
	    || echo "wine32:i386 is installed all the same, and keeps wine from starting any program: apt-get remove wine32:i386"; fi; \
	missing=$$(for p in $$wanted; do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed$$' || echo $$p; done); \
	if [ -n "$$missing" ]; then \
	  echo "Installing:" $$missing; \
	  SUDO=; [ "$$(id -u)" -eq 0 ] || SUDO=sudo; \
	  case " $$missing " in *:i386*) dpkg --print-foreign-architectures | grep -qx i386 || $$SUDO dpkg --add-architecture i386 || exit 1;; esac; \
	  $$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/native/Makefile:
	cmake -S . -B $(BUILD)/native -DCMAKE_BUILD_TYPE=Debug -DMORVEX_CHECK_DIST=$(DIST) -DMORVEX_CHECK_BUILD=$(BUILD)
$(BUILD)/x64/Makefile:
	cmake -S . -B $(BUILD)/x64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64.cmake -DMORVEX_DIST_DIR=$(DIST)/x64
$(BUILD)/x86/Makefile:
	cmake -S . -B $(BUILD)/x86 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686.cmake -DMORVEX_DIST_DIR=$(DIST)/x86
# libFuzzer comes with clang only.
$(BUILD)/fuzz/Makefile:
	cmake -S . -B $(BUILD)/fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMORVEX_FUZZ=ON

configure: deps $(BUILD)/native/Makefile $(BUILD)/x64/Makefile $(BUILD)/x86/Makefile $(BUILD)/fuzz/Makefile
	@# An x86 tree from before its tests ran is given them.
	@if grep -q '^MORVEX_BUILD_TESTS:BOOL=OFF' $(BUILD)/x86/CMakeCache.txt; then cmake -DMORVEX_BUILD_TESTS=ON $(BUILD)/x86; fi
	@printf 'set(MORVEX_ROOT "%s")\nset(MORVEX_BUILD "%s")\ninclude("%s/tests/all-trees.cmake")\n' \
	  $(ROOT) $(BUILD) $(ROOT) > $(BUILD)/CTestTestfile.cmake

build: configure
	cmake --build $(BUILD)/x86 -j $(JOBS)
	cmake --build $(BUILD)/x64 -j $(JOBS)
	cmake --build $(BUILD)/native -j $(JOBS)
	cmake --build $(BUILD)/fuzz -j $(JOBS)

# The Windows trees' prefixes are made side by side first: CTest would make them one after another
# as it lists the tests. The x86 tree's only where its tests can run (see tests/all-trees.cmake).
test: build
	@trees=x64; if tools/runs-32bit.sh && [ -x /usr/lib/wine/wine ]; then trees="x64 x86"; fi; \
	for tree in $$trees; do for prefix in wineprefix wineprefix-e2e; do \
	  MORVEX_WINEPREFIX=$(BUILD)/$$tree/$$prefix $(BUILD)/$$tree/wine-run --prefix-only & done; done; wait
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS); status=$$?; \
	if [ -f x86-skipped.txt ]; then echo "The x86 tests were skipped: $$(cat x86-skipped.txt)"; fi; exit $$status

# The zip and the packages are the same byte for byte for the same programs (see tools/package-dist.sh), unless signed.
dist: configure
	cmake --build $(BUILD)/x86 -j $(JOBS) --target MorvexDisabler MorvexDisablerConsole
	cmake --build $(BUILD)/x64 -j $(JOBS) --target MorvexDisabler MorvexDisablerConsole
	SIGN_PFX='$(SIGN_PFX)' SIGN_PASSWORD_FILE='$(SIGN_PASSWORD_FILE)' SIGN_TIMESTAMP_URL='$(SIGN_TIMESTAMP_URL)' \
	  RELEASE_URL='$(RELEASE_URL)' tools/package-dist.sh $(DIST) $(DIST)/MorvexDisabler-$(VERSION).zip

run: build
	tools/run-dialog.sh $(DIST)/x64/MorvexDisabler.exe $(BUILD)

# New inputs go to the copy in the build tree; the committed seeds change only by hand.
fuzz: deps $(BUILD)/fuzz/Makefile
	cmake --build $(BUILD)/fuzz -j $(JOBS)
	mkdir -p $(BUILD)/fuzz/corpus && cp -n tests/fuzz/corpus/* $(BUILD)/fuzz/corpus/
	$(BUILD)/fuzz/tests/fuzz/scancode_map_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -print_final_stats=1 \
	  -artifact_prefix=$(BUILD)/fuzz/ $(BUILD)/fuzz/corpus
	@# Instances up to 4 KB; command lines up to 64 KB, twice what Windows lets one be.
	for target in dsc_instance:4096 arguments:65536; do name=$${target%:*}; \
	  mkdir -p $(BUILD)/fuzz/corpus-$$name && cp -n tests/fuzz/corpus-$$name/* $(BUILD)/fuzz/corpus-$$name/ && \
	  $(BUILD)/fuzz/tests/fuzz/$${name}_fuzzer -max_total_time=$(FUZZ_SECONDS) -max_len=$${target#*:} -print_final_stats=1 \
	    -artifact_prefix=$(BUILD)/fuzz/ $(BUILD)/fuzz/corpus-$$name || exit 1; done

# Only the programs are built here; the bare program and the harness build in trees of their own.
bench: deps $(BUILD)/x64/Makefile $(BUILD)/x86/Makefile
	cmake --build $(BUILD)/x86 -j $(JOBS) --target MorvexDisabler MorvexDisablerConsole
	cmake --build $(BUILD)/x64 -j $(JOBS) --target MorvexDisabler MorvexDisablerConsole
	tools/bench/bench.sh $(BUILD) $(DIST) $(JOBS)

pictures: deps $(BUILD)/x64/Makefile
	cmake --build $(BUILD)/x64 -j $(JOBS) --target MorvexDisabler picture_stage
	tools/pictures.sh $(DIST)/x64/MorvexDisabler.exe $(BUILD)/x64/tests/e2e/picture_stage.exe docs $(BUILD)/pictures

clean:
	rm -rf $(BUILD) $(DIST)
