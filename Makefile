# The front door. `make run` and `make test` do all the set-up a fresh Debian 12 machine needs.
BUILD ?= build
JOBS ?= $(shell nproc)
WERROR ?= ON

.PHONY: all setup build native sanitize win test run fuzz bench soak acceptance lint format clean dist dist-check fresh-check

all: build

setup:
	@scripts/setup.sh

$(BUILD)/native/Makefile:
	cmake -S . -B $(BUILD)/native -G "Unix Makefiles" -DVESKO_WERROR=$(WERROR)

$(BUILD)/sanitize/Makefile:
	CC=clang CXX=clang++ cmake -S . -B $(BUILD)/sanitize -G "Unix Makefiles" -DCMAKE_BUILD_TYPE=Debug \
	  -DVESKO_WERROR=$(WERROR) -DVESKO_SANITIZE=ON -DVESKO_FUZZ=ON

$(BUILD)/win/Makefile:
	cmake -S . -B $(BUILD)/win -G "Unix Makefiles" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
	  -DVESKO_WERROR=$(WERROR)

native: $(BUILD)/native/Makefile
	cmake --build $(BUILD)/native -j$(JOBS)

sanitize: $(BUILD)/sanitize/Makefile
	cmake --build $(BUILD)/sanitize -j$(JOBS)

win: $(BUILD)/win/Makefile
	cmake --build $(BUILD)/win -j$(JOBS)

build: setup
	$(MAKE) native sanitize win

# Every test: native core, the core under ASan+UBSan with short fuzzing runs, and the Windows
# tests and the real program under Wine.
test: build
	@scripts/test.sh

# Vesko2.exe in the Wine desktop on sample pictures; a screenshot lands in build/run/.
run: setup
	$(MAKE) win
	@scripts/run.sh

# The zip users download: build/dist/Vesko2-<version>.zip (see scripts/dist.sh).
dist:
	@scripts/setup.sh --no-wine
	$(MAKE) win
	@scripts/dist.sh $(BUILD)/win $(BUILD)/dist

# That zip on its own: unpacked outside the build tree and run in a Wine prefix of its own on
# sample pictures; screenshots land in build/dist-check/.
dist-check: dist
	xvfb-run -a -s '-screen 0 1280x800x24' tests/e2e/dist_check.sh \
	  $(BUILD)/dist/Vesko2-$$(sed -n 's/^project(Vesko2 VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt).zip \
	  $(BUILD)/dist-check

# A fuzzing campaign: FUZZ_SECONDS per target (half an hour by default), every target or the
# ones named in FUZZ_TARGETS. New inputs gather in build/sanitize/fuzz/<target>_fuzzer-work.
fuzz: setup
	$(MAKE) sanitize
	@scripts/fuzz.sh $${FUZZ_SECONDS:-1800} $(FUZZ_TARGETS)

# The acceptance journey in full (a 100-megapixel JPEG among the pictures); its screenshots land
# in build/acceptance/.
acceptance: setup
	$(MAKE) win
	xvfb-run -a -s '-screen 0 1280x800x24' scripts/wine-session.sh \
	  tests/e2e/journey.sh $(BUILD)/win $(BUILD)/acceptance full

# 10,000 wallpaper changes by the timer; the resources before and after land in build/soak.txt.
soak: setup
	$(MAKE) win
	@scripts/soak.sh $${SOAK_CHANGES:-10000}

# Benchmarks against the tools a user would pick instead, reported as ratios.
bench: setup
	$(MAKE) native win
	@scripts/bench.sh

# The README's test command on a fresh minimal Debian 12 in a debootstrap chroot (root, mirror,
# about half an hour); the log and the result land in build/fresh-check/.
fresh-check:
	@scripts/fresh-check.sh

lint: $(BUILD)/native/Makefile
	clang-tidy -p $(BUILD)/native --quiet $$(git ls-files 'base/*.cpp' 'app/*.cpp' 'engine/*.cpp' 'decode/*.cpp' | grep -v _win)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf $(BUILD)/native $(BUILD)/sanitize $(BUILD)/win $(BUILD)/run $(BUILD)/dist $(BUILD)/dist-check
