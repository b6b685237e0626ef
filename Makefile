# The two commands: `make run` and `make test`. Both install what is missing first.
BUILD_DIR := build
SAN_DIR := build-san
JOBS := $(shell nproc 2>/dev/null || echo 2)
SAMPLE := tests/data/led_chaser.eeprom

CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo
SAN_FLAGS := -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 -DBREVIN_SANITIZE=ON -DBREVIN_BENCH=OFF -DBREVIN_APP=OFF
ifneq ($(CI),)
  CMAKE_FLAGS += -DBREVIN_WERROR=ON
  SAN_FLAGS += -DBREVIN_WERROR=ON
endif

FUZZ_DIR := build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_FLAGS := -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVIN_FUZZ=ON -DBREVIN_APP=OFF -DBREVIN_BENCH=OFF

.PHONY: run test deps build build-san bench package clean fuzz

run: build
	@if [ -x $(BUILD_DIR)/app/Brevin ] && { [ -n "$$DISPLAY" ] || [ -n "$$WAYLAND_DISPLAY" ]; }; then \
	  $(BUILD_DIR)/app/Brevin; \
	else \
	  $(BUILD_DIR)/cli/brevin-cli $(SAMPLE); \
	  echo "No display: this was the listing of $(SAMPLE). Start the window with: xvfb-run -a $(BUILD_DIR)/app/Brevin"; \
	fi

test: build build-san
	ctest --test-dir $(BUILD_DIR) --output-on-failure
	ctest --test-dir $(SAN_DIR) --output-on-failure

deps:
	@scripts/install-deps

build: deps
	@cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD_DIR) -j $(JOBS)

build-san: deps
	@cmake -S . -B $(SAN_DIR) $(SAN_FLAGS) >/dev/null
	@cmake --build $(SAN_DIR) -j $(JOBS)

# libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer), each run
# FUZZ_SECONDS from the sample images; fails on any finding.
fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) $(FUZZ_FLAGS) >/dev/null
	@cmake --build $(FUZZ_DIR) -j $(JOBS) --target brevin_fuzzers
	scripts/run-fuzzers $(FUZZ_DIR) $(FUZZ_SECONDS)

bench: build
	$(BUILD_DIR)/bench/engine_bench
	$(BUILD_DIR)/bench/json_bench
	$(BUILD_DIR)/bench/shell_bench
	[ ! -x $(BUILD_DIR)/bench/navigation_bench ] || $(BUILD_DIR)/bench/navigation_bench

# The Debian packages: build/brevin-cli_<version>_<arch>.deb (the command line,
# no Qt) and build/brevin_<version>_<arch>.deb (the window; depends on the first).
# scripts/check-packages checks them (lintian, contents, hardening).
package: build
	cd $(BUILD_DIR) && cpack -G DEB

clean:
	rm -rf $(BUILD_DIR) $(SAN_DIR) $(FUZZ_DIR)
