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

# The sanitizer build lives beside the normal one; it shares nothing with it.
SANITIZE_BUILD ?= build-sanitize
CLANG_FORMAT ?= clang-format
# UBSan stops at its first report like ASan does, so a finding fails its suite.
# Leaks are checked; tests/lsan.supp names the few that belong to system libraries.
SANITIZE_ENV := ASAN_OPTIONS=detect_leaks=1:strict_init_order=1:detect_stack_use_after_return=0 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0

.PHONY: all setup configure build run test install package bench screenshots assets translations clean format format-check sanitize

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

# `make install PREFIX=/opt/brisel` (default /usr/local; DESTDIR works as usual).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The Debian package: $(BUILD)/brisel_<version>_<arch>.deb.
package: build
	cd $(BUILD) && cpack -G DEB

bench: build
	cmake --build $(BUILD) --target bench_all -j $(JOBS)
	@set -e; for b in $(BUILD)/bin/bench_*; do echo "== $$b"; QT_QPA_PLATFORM=offscreen $$b; done

screenshots: build
	bash tools/screenshots.sh $(BUILD)

assets:
	bash tools/make-assets.sh

# After texts changed in code or forms: new texts arrive unfinished in resources/i18n.
translations:
	bash tools/update-translations.sh

# Every tracked C++ file against .clang-format (clang-format 14).
format:
	git ls-files '*.cpp' '*.h' | xargs $(CLANG_FORMAT) -i

format-check:
	@bad=$$(git ls-files '*.cpp' '*.h' | xargs $(CLANG_FORMAT) --dry-run -Werror 2>&1 \
		| sed -n 's/^\([^:]*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' | sort -u); \
	if [ -n "$$bad" ]; then echo "Not formatted (make format fixes them):"; echo "$$bad"; exit 1; fi

sanitize: setup
	cmake -S . -B $(SANITIZE_BUILD) -G "$(GENERATOR)" $(LAUNCHER) -DBRISEL_SANITIZE=ON \
		-DCMAKE_BUILD_TYPE=RelWithDebInfo -DBRISEL_BUILD_BENCH=OFF
	cmake --build $(SANITIZE_BUILD) -j $(JOBS)
	cd $(SANITIZE_BUILD) && $(SANITIZE_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

clean:
	rm -rf $(BUILD) $(SANITIZE_BUILD)
