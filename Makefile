# The two set-up commands of the README, and the extra targets.
BUILD_DIR := build
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
JOBS ?= 2

# Hardening builds: the music engine and its tests without the presentation.
ASAN_DIR := build-asan
TSAN_DIR := build-tsan
FUZZ_DIR := build-fuzz
BENCH_DIR := build-bench
HEADLESS_FLAGS := $(CMAKE_FLAGS) -DINTRO_BUILD_PRESENTATION=OFF
ASAN_SANITIZERS := address,undefined
# Any report ends the process with a failure.
SANITIZER_ENV := ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
FUZZ_SECONDS ?= 600
TEST_FUZZ_SECONDS ?= 60
FUZZ_CORPUS := fuzz-corpus
SOAK_SECONDS ?= 600
STRESS_ROUNDS ?= 20
STRESS_TESTS ?= .
REAL_SONGS_CACHE := .cache/real-songs
# 32-bit Windows programs, cross-built with mingw-w64; GLFW and FreeType for
# them are built once from Debian's source packages into a cache.
WINDOWS_DIR := build-windows
WINDOWS_LIBS := .cache/windows-libs
WINDOWS_TOOLCHAIN := cmake/mingw-i686.cmake
WINDOWS_FLAGS := $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/$(WINDOWS_TOOLCHAIN) \
	-DCMAKE_PREFIX_PATH=$(CURDIR)/$(WINDOWS_LIBS) -DINTRO_HOST_TOOLS_DIR=$(CURDIR)/$(BUILD_DIR) \
	-DINTRO_BUILD_TESTS=OFF

# $(call timed,NAME,COMMAND): runs one stage and prints how long it took;
# with STAGE_TIMES set, also notes the time in that file for the summary.
timed = @start=$$(date +%s); echo "==== $(1)"; \
	if $(2); then seconds=$$(( $$(date +%s) - start )); echo "==== $(1): passed in $$seconds s"; \
		if [ -n "$${STAGE_TIMES:-}" ]; then printf '%6d s  %s\n' "$$seconds" "$(1)" >> "$$STAGE_TIMES"; fi; \
	else echo "==== $(1): FAILED after $$(( $$(date +%s) - start )) s"; exit 1; fi

.PHONY: all deps build run test clean \
	test-main test-asan test-tsan test-fuzz fuzz-build fuzz soak stress bench video preview \
	windows windows-libs test-windows

all: build

deps:
	@scripts/install-deps.sh

$(BUILD_DIR)/build.ninja: | deps
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

run: build
	scripts/run-presentation.sh $(BUILD_DIR)

# One pass of the song as a 1920x1080, 60 fps MP4, rendered off screen.
video: build
	$(BUILD_DIR)/capture_video --force --output $(BUILD_DIR)/intro.mp4

# The README's picture: the first message at 3.4 s, small.
preview: build
	$(BUILD_DIR)/capture_video --force --still 3.4 --size 480x270 --output docs/preview.png

# Every stage in turn, each with its time: the whole suite, the unit and
# real-song tests under AddressSanitizer and UndefinedBehaviorSanitizer, the
# playback start/stop tests under ThreadSanitizer, a short fuzz run, and the
# Windows programs under wine.
test: deps
	@start=$$(date +%s); export STAGE_TIMES=$$(mktemp); \
	for stage in test-main test-asan test-tsan test-fuzz test-windows; do \
		$(MAKE) --no-print-directory $$stage || { rm -f "$$STAGE_TIMES"; exit 1; }; \
	done; \
	echo "==== make test: everything passed in $$(( $$(date +%s) - start )) s"; \
	cat "$$STAGE_TIMES"; rm -f "$$STAGE_TIMES"

test-main: deps $(BUILD_DIR)/build.ninja
	$(call timed,build,cmake --build $(BUILD_DIR) -j $(JOBS))
	$(call timed,tests,ctest --test-dir $(BUILD_DIR) --output-on-failure -j $(JOBS))

$(ASAN_DIR)/build.ninja: | deps
	cmake -S . -B $(ASAN_DIR) $(HEADLESS_FLAGS) -DINTRO_SANITIZE=$(ASAN_SANITIZERS)

test-asan: deps $(ASAN_DIR)/build.ninja
	$(call timed,AddressSanitizer + UndefinedBehaviorSanitizer build,cmake --build $(ASAN_DIR) -j $(JOBS))
	$(call timed,tests under AddressSanitizer + UndefinedBehaviorSanitizer,\
		env $(SANITIZER_ENV) ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS))

$(TSAN_DIR)/build.ninja: | deps
	cmake -S . -B $(TSAN_DIR) $(HEADLESS_FLAGS) -DINTRO_SANITIZE=thread

test-tsan: deps $(TSAN_DIR)/build.ninja
	$(call timed,ThreadSanitizer build,cmake --build $(TSAN_DIR) -j $(JOBS) --target playback_tests)
	$(call timed,playback tests under ThreadSanitizer,\
		env $(SANITIZER_ENV) ctest --test-dir $(TSAN_DIR) --output-on-failure -L playback)

# libFuzzer needs clang.
$(FUZZ_DIR)/build.ninja: | deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) $(HEADLESS_FLAGS) -DINTRO_BUILD_FUZZERS=ON

fuzz-build: deps $(FUZZ_DIR)/build.ninja
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target song_fuzzer seed_songs intro_song

test-fuzz: deps $(FUZZ_DIR)/build.ninja
	$(call timed,fuzzer build,$(MAKE) --no-print-directory fuzz-build)
	$(call timed,$(TEST_FUZZ_SECONDS) s fuzz run,\
		tests/fuzz/run_fuzzer.sh $(FUZZ_DIR) $(FUZZ_DIR)/test-run $(TEST_FUZZ_SECONDS))

windows-libs: deps
	@JOBS=$(JOBS) scripts/build-windows-libs.sh $(WINDOWS_TOOLCHAIN) $(WINDOWS_LIBS)

# build-windows/intro.exe and build-windows/xm2wav.exe. The asset generators
# run natively: the Windows build takes them from $(BUILD_DIR), which is
# brought up to date (and exports them) first.
windows: deps windows-libs $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS) --target song_compiler image_generator
	@[ -f $(WINDOWS_DIR)/build.ninja ] || cmake -S . -B $(WINDOWS_DIR) $(WINDOWS_FLAGS)
	cmake --build $(WINDOWS_DIR) -j $(JOBS) --target intro xm2wav

# The Windows programs under wine against the Linux ones.
test-windows: deps
	$(call timed,Windows build,$(MAKE) --no-print-directory windows && \
		cmake --build $(BUILD_DIR) -j $(JOBS) --target xm2wav resource_dump)
	$(call timed,Windows programs under wine,tests/windows/run_checks.sh $(WINDOWS_DIR) $(BUILD_DIR) $(REAL_SONGS_CACHE))

# A long fuzz run whose corpus and findings stay in $(FUZZ_CORPUS)/.
fuzz: fuzz-build
	-@scripts/fetch-real-songs.sh $(REAL_SONGS_CACHE) > /dev/null
	tests/fuzz/run_fuzzer.sh $(FUZZ_DIR) $(FUZZ_CORPUS) $(FUZZ_SECONDS)

# The real presentation for SOAK_SECONDS on a virtual screen, M and resizes.
soak: build
	SOAK_SECONDS=$(SOAK_SECONDS) scripts/soak.sh $(BUILD_DIR)

# The end-to-end tests (those matching STRESS_TESTS) STRESS_ROUNDS times with every core kept busy.
stress: build
	scripts/stress.sh $(BUILD_DIR) $(STRESS_ROUNDS) '$(STRESS_TESTS)'

# Music rendering speed against the mature players, the presentation's
# start-up and frame times, then the video capture's speed.
$(BENCH_DIR)/build.ninja: | deps
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DINTRO_BUILD_BENCHMARKS=ON -DINTRO_BUILD_TESTS=OFF

bench: deps $(BENCH_DIR)/build.ninja
	cmake --build $(BENCH_DIR) -j $(JOBS)
	cmake --build $(BENCH_DIR) --target run_bench_music
	cmake --build $(BENCH_DIR) --target run_bench_presentation
	cmake --build $(BENCH_DIR) --target run_bench_capture

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR) $(FUZZ_DIR) $(BENCH_DIR) $(WINDOWS_DIR)
