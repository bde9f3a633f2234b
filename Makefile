# Twinly 2. `make` (or `make package`) builds the device package; `make test` builds the host side
# and runs every test; `make do` builds and installs on THEOS_DEVICE_IP, as with Theos.
MAKEFLAGS += --no-print-directory
STEP = @bash scripts/step.sh
HOST_BUILD ?= build/host
SANITIZE_BUILD ?= build/sanitize
JOBS ?= 2
HOST_CMAKE = cmake -S . -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all setup host test sanitize fuzz demo screenshots bench clean

all: package

setup:
	@sh scripts/setup.sh

host: setup
	$(STEP) "configure the host build" $(HOST_CMAKE) -B $(HOST_BUILD)
	$(STEP) "build the host side" cmake --build $(HOST_BUILD) -j $(JOBS)

# Every test has TEST_TIMEOUT seconds: a guest run in the device core that loops fails instead of hanging.
TEST_TIMEOUT ?= 300
CTEST = ctest --output-on-failure -j $(JOBS) --timeout $(TEST_TIMEOUT)

test: host
	$(STEP) "run the tests" $(CTEST) --test-dir $(HOST_BUILD)
	@$(MAKE) sanitize

# The whole suite again under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer; it
# includes a bounded run of the preferences fuzzer (30 000 inputs, two minutes at most).
sanitize: setup
	$(STEP) "configure the sanitizer build" $(HOST_CMAKE) -B $(SANITIZE_BUILD) -DTWINLY_SANITIZE=ON
	$(STEP) "build the sanitizer suite" cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	$(STEP) "run the sanitizer suite" $(CTEST) --test-dir $(SANITIZE_BUILD)

# A longer fuzzer run; FUZZ_SECONDS sets how long.
FUZZ_SECONDS ?= 1200
fuzz: setup
	$(STEP) "configure the sanitizer build" $(HOST_CMAKE) -B $(SANITIZE_BUILD) -DTWINLY_SANITIZE=ON
	$(STEP) "build the fuzzer" cmake --build $(SANITIZE_BUILD) -j $(JOBS) --target preferences_fuzzer
	cd $(SANITIZE_BUILD) && TWINLY_FUZZ_SECONDS=$(FUZZ_SECONDS) TWINLY_FUZZ_RUNS=-1 TWINLY_FUZZ_SEED=0 ctest -R '^fuzz\.' --output-on-failure

demo: host
	$(HOST_BUILD)/sim/twinly-sim tests/scenarios/demo.scn

# The pictures of the README and the depiction (screenshots/), drawn afresh from the package's
# binaries; make test fails while a kept one differs from what they draw.
screenshots: host package
	$(STEP) "draw the pictures in screenshots/" python3 scripts/screenshots.py $(HOST_BUILD)/sim/twinly-sim $(DEVICE_PACKAGE)

bench: host package
	$(HOST_BUILD)/bench/twinly-bench $(BENCH_ARGS)
	$(HOST_BUILD)/bench/twinly-scenario-bench

clean:
	rm -rf build packages

-include device/device.mk
