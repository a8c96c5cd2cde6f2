# The two commands of the README: `make run` and `make test`. Both install what is missing first.
JOBS ?= $(shell nproc)
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
GENERATOR := $(shell command -v ninja >/dev/null 2>&1 && echo Ninja || echo "Unix Makefiles")

.PHONY: run test setup configure build programs build-asan build-tsan build-fuzz format check-format

setup:
	@bash tools/setup.sh

configure: setup
	@cmake -S . -B $(BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Release >/dev/null

# Everything: the program, the tools, the demo game, the tests and the benchmarks (the fuzz
# replays are built under the sanitizers).
build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# Only what playing needs: the program, the tools for game makers and the demo game.
programs: configure
	@cmake --build $(BUILD) -j $(JOBS) --target programs

# Everything but the real backends again, built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer: the unit-test programs, the tools they drive and the fuzz replays.
# Kept lean for CI: -O1 with line tables only, no benchmarks, no window (the real-window tests
# stay out).
ASAN_FLAGS := -O1 -gline-tables-only
build-asan: setup
	@CC=clang CXX=clang++ cmake -S . -B $(ASAN_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=Sanitize \
	    -DCMAKE_C_FLAGS_SANITIZE="$(ASAN_FLAGS)" -DCMAKE_CXX_FLAGS_SANITIZE="$(ASAN_FLAGS)" \
	    -DKEL_SANITIZE=ON -DKEL_REAL_BACKENDS=OFF -DKEL_BENCH=OFF >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

# The sound device's threads under ThreadSanitizer: only the stress test and the libraries it links.
build-tsan: setup
	@CC=clang CXX=clang++ cmake -S . -B $(TSAN_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DKEL_TSAN=ON -DKEL_BENCH=OFF >/dev/null
	@cmake --build $(TSAN_BUILD) -j $(JOBS) --target kel_tests_threads

# The fuzz targets as libFuzzer programs over libraries instrumented for coverage, under both
# sanitizers; tools/fuzz.sh runs one of them and trims what it finds into its seeds.
build-fuzz: setup
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G "$(GENERATOR)" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	    -DKEL_SANITIZE=ON -DKEL_FUZZ=ON -DKEL_REAL_BACKENDS=OFF -DKEL_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all

# Every C++ file of the repository in the house style.
FORMAT_FILES = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null)
format:
	@clang-format -i $(FORMAT_FILES)

check-format:
	@clang-format --dry-run --Werror $(FORMAT_FILES) || { echo "unformatted files: run make format" >&2; exit 1; }

test: check-format build build-asan build-tsan
	@echo "== unit tests and fuzz corpora under the sanitizers"
	@cd $(ASAN_BUILD) && LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	    ctest -j $(JOBS) --timeout 600 --output-on-failure
	@echo "== the sound threads under ThreadSanitizer"
	@cd $(TSAN_BUILD) && ctest -L tsan --timeout 600 --output-on-failure
	@echo "== all tests"
	@cd $(BUILD) && xvfb-run -a -s "-screen 0 1280x1024x24" ctest -j $(JOBS) --timeout 600 --output-on-failure

# The demo game, which the build packs from demo/ into $(BUILD)/demo/, played in its window. Where
# no display can be opened (kel's exit code 3), it is played headless for a fixed number of frames
# instead. Builds no test program.
run: programs
	@$(BUILD)/kel $(BUILD)/demo; rc=$$?; \
	if [ $$rc -eq 3 ]; then \
	    echo "make run: no display can be opened here; the demo plays headless for 1000 frames instead"; \
	    $(BUILD)/tools/kel-headless --frames 1000 $(BUILD)/demo; \
	else exit $$rc; fi
