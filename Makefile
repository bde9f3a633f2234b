# Twinly 2. `make` builds the device package; `make test` builds the host side and runs every test.
HOST_BUILD ?= build/host
SANITIZE_BUILD ?= build/sanitize
JOBS ?= 2
HOST_CMAKE = cmake -S . -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo

.PHONY: all setup host test demo bench clean

all: package

setup:
	@sh scripts/setup.sh

host: setup
	@$(HOST_CMAKE) -B $(HOST_BUILD) >/dev/null
	@cmake --build $(HOST_BUILD) -j $(JOBS)

test: host
	cd $(HOST_BUILD) && ctest --output-on-failure -j $(JOBS)

demo: host
	$(HOST_BUILD)/sim/twinly-sim tests/scenarios/demo.scn

bench: host
	$(HOST_BUILD)/bench/twinly-bench $(BENCH_ARGS)

clean:
	rm -rf build packages

-include device/device.mk
