# Thin front door: installs what is missing, then hands over to CMake and CTest.
# make run [ARGS=...] | make test | make bench | make fuzz | make soak | make install | make package

BUILD      ?= build
TEST_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= 2
# Seconds each fuzz target runs: FUZZ_SECONDS for make fuzz, CI_FUZZ_SECONDS within make test.
FUZZ_SECONDS    ?= 60
CI_FUZZ_SECONDS ?= 20
PREFIX     ?= /usr/local
ARGS       ?=

# Exactly the Debian 12 packages the project needs to build, test and run.
DEPS := build-essential cmake ninja-build pkg-config clang-format \
        qt6-base-dev libhidapi-dev libudev-dev nlohmann-json3-dev \
        libgtest-dev libgmock-dev libbenchmark-dev \
        clang libclang-rt-14-dev \
        fonts-liberation2 fonts-dejavu-core xvfb xauth \
        desktop-file-utils appstream dpkg-dev file \
        g++-mingw-w64-x86-64-posix qt6-base-dev-tools wine64 nsis xz-utils imagemagick lintian help2man

SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: deps build run test test-windows windows windows-package bench fuzz fuzz-build soak install package format clean

deps:
	@missing=""; \
	for p in $(DEPS); do \
	  dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || missing="$$missing $$p"; \
	done; \
	if [ -n "$$missing" ]; then \
	  echo "Installing:$$missing"; \
	  $(SUDO) apt-get update -qq && \
	  DEBIAN_FRONTEND=noninteractive $(SUDO) apt-get install -y -qq --no-install-recommends $$missing; \
	fi

$(BUILD)/build.ninja:
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUN_BUILD_TESTS=OFF

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) -j$(JOBS)

run: build
	$(BUILD)/app/kestrun $(ARGS)

# Each fuzz target runs a while first; a failing input it finds lands in tests/fuzz/crashes/,
# where the replay tests of the run below pick it up, so CTest's summary still closes the output.
test: fuzz-build
	FUZZ_SECONDS=$(CI_FUZZ_SECONDS) cmake --build $(FUZZ_BUILD) --target run-fuzz || \
	  echo "fuzzing found a failing input: the replay tests below run it"
	cmake -S . -B $(TEST_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DKESTRUN_SANITIZE=ON -DKESTRUN_WERROR=ON -DKESTRUN_BUILD_TESTS=ON
	cmake --build $(TEST_BUILD) -j$(JOBS)
	cd $(TEST_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	  ctest --output-on-failure -j$(JOBS) -LE soak
	$(MAKE) --no-print-directory test-windows

soak: deps
	cmake -S . -B $(BUILD)-soak -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKESTRUN_BUILD_TESTS=ON \
	  -DKESTRUN_WITH_QT=OFF -DKESTRUN_SANITIZE=ON
	cmake --build $(BUILD)-soak -j$(JOBS) --target soak_tests
	cd $(BUILD)-soak && KESTRUN_SOAK_EXCHANGES=10000 KESTRUN_SOAK_UPGRADES=20 \
	  ctest --output-on-failure -L soak

bench: deps
	cmake -S . -B $(BUILD)-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTRUN_BUILD_TESTS=OFF -DKESTRUN_BUILD_BENCH=ON
	cmake --build $(BUILD)-bench -j$(JOBS)
	cmake --build $(BUILD)-bench --target run-bench

# The fuzz targets need clang and run core-only, under the sanitizers.
fuzz-build: deps
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DKESTRUN_BUILD_FUZZ=ON -DKESTRUN_WITH_QT=OFF -DKESTRUN_SANITIZE=ON
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzz-all

fuzz: fuzz-build
	FUZZ_SECONDS=$(FUZZ_SECONDS) cmake --build $(FUZZ_BUILD) --target run-fuzz

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

package: build
	cd $(BUILD) && cpack -G DEB

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(TEST_BUILD) $(FUZZ_BUILD) $(BUILD)-soak $(BUILD)-bench $(WIN_BUILD)

# --- Windows: cross-built with MinGW-w64 against the sysroot, run under Wine ----------------------
WIN_BUILD   ?= build-win
WIN_SYSROOT ?= ../shared/windows
WINE        ?= /usr/lib/wine/wine64
WINESERVER  ?= /usr/lib/wine/wineserver
WIN_TOOLCHAIN = $(abspath $(WIN_BUILD))/kestrun-win64/mingw-w64-x86_64.cmake
# A private prefix in the build folder; Wine's own chatter off.
WIN_ENV = WINEPREFIX=$(abspath $(WIN_BUILD))/wine WINEDEBUG=-all KESTRUN_WINE=$(WINE) \
          WINESERVER=$(WINESERVER) WINEPATH='Z:$(abspath $(WIN_BUILD))/run'

$(WIN_TOOLCHAIN):
	mkdir -p $(WIN_BUILD)
	tar -xJf $(WIN_SYSROOT)/kestrun-win64-sysroot.tar.xz -C $(WIN_BUILD)

# build-win/run: kestrun.exe, kestrun-cli.exe and everything they load beside them.
windows: deps $(WIN_TOOLCHAIN)
	cmake -S . -B $(WIN_BUILD) -G Ninja -DCMAKE_TOOLCHAIN_FILE=$(WIN_TOOLCHAIN) \
	  -DCMAKE_BUILD_TYPE=Release -DKESTRUN_WERROR=ON -DKESTRUN_BUILD_TESTS=ON \
	  -DCMAKE_CROSSCOMPILING_EMULATOR=$(WINE) -DKESTRUN_HOST_BUILD=$(abspath $(TEST_BUILD))
	cmake --build $(WIN_BUILD) -j$(JOBS)

# build-win/kestrun-<version>-win64.zip and build-win/kestrun-<version>-setup.exe.
windows-package: windows
	cmake --build $(WIN_BUILD) --target windows-package

# The Windows leg of make test. One resident wineserver for the whole run, started apart from
# every pipe, so no call waits for Wine's helpers to let go of CTest's output.
test-windows:
	@if [ ! -f $(WIN_SYSROOT)/kestrun-win64-sysroot.tar.xz ]; then \
	  echo "Windows leg skipped: no sysroot in $(WIN_SYSROOT)"; exit 0; fi; \
	$(MAKE) --no-print-directory windows-package && \
	export $(WIN_ENV) && \
	{ setsid $(WINESERVER) -p 900 </dev/null >/dev/null 2>&1 & } && \
	$(WINE) wineboot -i </dev/null >/dev/null 2>&1; \
	cd $(WIN_BUILD) && ctest --output-on-failure -j$(JOBS); status=$$?; \
	$(WINESERVER) -k; exit $$status
