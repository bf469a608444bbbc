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
        desktop-file-utils appstream dpkg-dev file lintian help2man

SUDO := $(shell [ "$$(id -u)" -eq 0 ] || echo sudo)

.PHONY: deps build run test bench fuzz fuzz-build soak install package format clean

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
	rm -rf $(BUILD) $(TEST_BUILD) $(FUZZ_BUILD) $(BUILD)-soak $(BUILD)-bench
