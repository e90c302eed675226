# Front door over CMake. `make run` and `make test` set the machine up first when
# something is missing (tools/setup.sh is quiet when everything is there).
BUILD ?= build
JOBS ?= $(shell nproc)
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")
# ccache with paths taken relative to the checkout, so a fresh clone in another
# folder reuses what an earlier build compiled.
LAUNCHER := $(shell command -v ccache >/dev/null 2>&1 && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

.PHONY: all setup configure build run test bench screenshots assets clean

all: build

setup:
	@bash tools/setup.sh

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -G "$(GENERATOR)" $(LAUNCHER)

configure: setup $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j $(JOBS)

run: build
	$(BUILD)/bin/brisel

test: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

bench: build
	cmake --build $(BUILD) --target bench_all -j $(JOBS)
	@set -e; for b in $(BUILD)/bin/bench_*; do echo "== $$b"; QT_QPA_PLATFORM=offscreen $$b; done

screenshots: build
	bash tools/screenshots.sh $(BUILD)

assets:
	bash tools/make-assets.sh

clean:
	rm -rf $(BUILD)
