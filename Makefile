# The two set-up commands of the README, and the extra targets. Each target
# installs the package groups it needs (scripts/install-deps.sh) on first use.
BUILD_DIR := build
# Every build compiles through a cache kept in the checkout, which takes
# paths relative to it: folders built alike (the release stage's clean ones
# beside the main ones) share their objects instead of compiling again.
export CCACHE_DIR := $(CURDIR)/.cache/ccache
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
CMAKE_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
JOBS ?= 2

# Hardening builds: the music engine and its tests without the presentation.
ASAN_DIR := build-asan
TSAN_DIR := build-tsan
FUZZ_DIR := build-fuzz
BENCH_DIR := build-bench
HEADLESS_FLAGS := $(CMAKE_FLAGS) -DINTRO_BUILD_PRESENTATION=OFF
ASAN_SANITIZERS := address,undefined
# Measures of how the sound compares, not of memory: their renders run through
# the same mixing code the real-song mixer-path test drives under the sanitizers.
ASAN_SKIPPED_TESTS := ^(real_songs_agreement|interpolation_tones)$$
# Any report ends the process with a failure.
SANITIZER_ENV := ASAN_OPTIONS=halt_on_error=1:detect_leaks=1 \
	UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
FUZZ_SECONDS ?= 600
TEST_FUZZ_SECONDS ?= 30
FUZZ_CORPUS := fuzz-corpus
SOAK_SECONDS ?= 600
STRESS_ROUNDS ?= 20
STRESS_TESTS ?= .
REAL_SONGS_CACHE := .cache/real-songs
# The behaviour test modules the fidelity report measures; they stay outside the repository.
BEHAVIOUR_CASES ?= ../shared/xm-behaviour-cases
# 32-bit Windows programs, cross-built with mingw-w64; GLFW and FreeType for
# them are built once from Debian's source packages into a cache.
WINDOWS_DIR := build-windows
# Release without debug information, at -O2 as every tested build: GCC 12's
# -O3 for i686 stops on a false loop warning in the mixer.
WINDOWS_RELEASE_FLAGS := -O2 -DNDEBUG
WINDOWS_LIBS := .cache/windows-libs
WINDOWS_TOOLCHAIN := cmake/mingw-i686.cmake
# xm2wav.exe for 64-bit Windows, from the same sources: the checks run it
# where the machine cannot start 32-bit programs. The engine needs none of
# the presentation's libraries.
WINDOWS64_DIR := build-windows64
WINDOWS64_FLAGS := $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/cmake/mingw-x86_64.cmake \
	-DINTRO_HOST_TOOLS_DIR=$(CURDIR)/$(BUILD_DIR) -DINTRO_BUILD_TESTS=OFF -DINTRO_BUILD_PRESENTATION=OFF \
	-DCMAKE_BUILD_TYPE=Release \
	"-DCMAKE_C_FLAGS_RELEASE=$(WINDOWS_RELEASE_FLAGS)" "-DCMAKE_CXX_FLAGS_RELEASE=$(WINDOWS_RELEASE_FLAGS)"
STARTS_32BIT_PROGRAMS := /usr/lib/wine/wine --version > /dev/null 2>&1
WINDOWS_FLAGS := $(CMAKE_FLAGS) -DCMAKE_TOOLCHAIN_FILE=$(CURDIR)/$(WINDOWS_TOOLCHAIN) \
	-DCMAKE_PREFIX_PATH=$(CURDIR)/$(WINDOWS_LIBS) -DINTRO_HOST_TOOLS_DIR=$(CURDIR)/$(BUILD_DIR) \
	-DINTRO_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
	"-DCMAKE_C_FLAGS_RELEASE=$(WINDOWS_RELEASE_FLAGS)" "-DCMAKE_CXX_FLAGS_RELEASE=$(WINDOWS_RELEASE_FLAGS)"
DIST_DIR := dist
# The release programs and what the packages hold, built in $(BUILD_DIR).
DIST_TARGETS := intro xm2wav songplayer trace_dump capture_video intro_music intro_music_shared intro_music_live \
	xm2wav_manual_page songplayer_manual_page trace_dump_manual_page capture_video_manual_page gstintromusic
# The Debian packages install into the multiarch folders (lib/x86_64-linux-gnu).
DIST_FLAGS := -DCMAKE_INSTALL_LIBDIR=lib/$(shell gcc -print-multiarch 2> /dev/null)
# The release stage builds everything again in folders of its own, from
# nothing, so that `make dist` is known to work alone on a clean clone.
DIST_CHECK_NATIVE := build-dist-native
DIST_CHECK_WINDOWS := build-dist-windows
DIST_CHECK_WEB := build-dist-web
# The package groups of `make test`: every stage's.
TEST_DEPS := build headless test video windows fuzz web dist gstreamer

# The browser build: Debian's emscripten (its emcc needs Debian's Node
# modules where a newer Node comes first on the PATH), FreeType for
# WebAssembly built once from Debian's source package into a cache, the
# asset generators taken from $(BUILD_DIR) as for Windows.
WEB_DIR := build-web
WEB_LIBS := .cache/web-libs
WEB_PORT ?= 8000
WEB_ENV := NODE_PATH=/usr/share/nodejs
EMSCRIPTEN_TOOLCHAIN := /usr/share/emscripten/cmake/Modules/Platform/Emscripten.cmake
WEB_FLAGS := -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE=$(EMSCRIPTEN_TOOLCHAIN) \
	-DCMAKE_FIND_ROOT_PATH=$(CURDIR)/$(WEB_LIBS) -DCMAKE_PREFIX_PATH=$(CURDIR)/$(WEB_LIBS) \
	-DINTRO_HOST_TOOLS_DIR=$(CURDIR)/$(BUILD_DIR) -DINTRO_BUILD_TESTS=OFF

# $(call timed,NAME,COMMAND): runs one stage and prints how long it took;
# with STAGE_TIMES set, also notes the time in that file for the summary.
timed = @start=$$(date +%s); echo "==== $(1)"; \
	if $(2); then seconds=$$(( $$(date +%s) - start )); echo "==== $(1): passed in $$seconds s"; \
		if [ -n "$${STAGE_TIMES:-}" ]; then printf '%6d s  %s\n' "$$seconds" "$(1)" >> "$$STAGE_TIMES"; fi; \
	else echo "==== $(1): FAILED after $$(( $$(date +%s) - start )) s"; exit 1; fi

# $(call deps,GROUP...): installs the package groups that are missing.
deps = @scripts/install-deps.sh $(1)
# $(call configure,DIR,FLAGS): configures DIR again, so it finds packages a
# target has just installed (a few seconds when nothing changed).
configure = cmake -S . -B $(1) $(2) > /dev/null

.PHONY: all deps build run test clean \
	test-main test-asan test-tsan test-fuzz fuzz-build fuzz soak stress bench fidelity video preview \
	host-tools windows windows64 windows-libs test-platforms test-windows windows-checks web web-libs serve-web test-web bench-web dist test-dist mutants repin-tracker

all: build

# Every package of every target.
deps:
	@scripts/install-deps.sh

build:
	$(call deps,build video)
	$(call configure,$(BUILD_DIR),$(CMAKE_FLAGS))
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Only the presentation and what it embeds; prints how long it took to get there.
run:
	@start=$$(date +%s); scripts/install-deps.sh build && \
	cmake -S . -B $(BUILD_DIR) $(CMAKE_FLAGS) > /dev/null && \
	cmake --build $(BUILD_DIR) -j $(JOBS) --target intro && \
	echo "make run: packages and build took $$(( $$(date +%s) - start )) s"
	@if [ -z "$${DISPLAY:-}" ] || ! xdpyinfo > /dev/null 2>&1; then scripts/install-deps.sh headless; fi
	scripts/run-presentation.sh $(BUILD_DIR)

# One pass of the song as a 1920x1080, 60 fps MP4, rendered off screen.
video:
	$(call deps,build video)
	$(call configure,$(BUILD_DIR),$(CMAKE_FLAGS))
	cmake --build $(BUILD_DIR) -j $(JOBS) --target capture_video
	$(BUILD_DIR)/capture_video --force --output $(BUILD_DIR)/intro.mp4

# The README's picture: the first message at 3.4 s, small.
preview:
	$(call deps,build video)
	$(call configure,$(BUILD_DIR),$(CMAKE_FLAGS))
	cmake --build $(BUILD_DIR) -j $(JOBS) --target capture_video
	$(BUILD_DIR)/capture_video --force --still 3.4 --size 480x270 --output docs/preview.png

# Every stage in turn, each with its time: the whole suite, the unit and
# real-song tests under AddressSanitizer and UndefinedBehaviorSanitizer, the
# playback start/stop tests under ThreadSanitizer, a short fuzz run, the
# Windows programs under wine, the browser build in headless Chromium, then
# the release artifacts.
# The release stage builds the Windows programs and the web pages from
# nothing; the Windows and web checks then run on those very builds.
test:
	$(call deps,$(TEST_DEPS))
	@start=$$(date +%s); export STAGE_TIMES=$$(mktemp); \
	for stage in test-main test-asan test-tsan test-fuzz test-dist \
		"test-platforms WINDOWS_DIR=$(DIST_CHECK_WINDOWS) WEB_DIR=$(DIST_CHECK_WEB)"; do \
		$(MAKE) --no-print-directory $$stage || { rm -f "$$STAGE_TIMES"; exit 1; }; \
	done; \
	echo "==== make test: everything passed in $$(( $$(date +%s) - start )) s"; \
	cat "$$STAGE_TIMES"; rm -f "$$STAGE_TIMES"

test-main:
	$(call deps,build headless test video gstreamer)
	$(call configure,$(BUILD_DIR),$(CMAKE_FLAGS))
	$(call timed,build,cmake --build $(BUILD_DIR) -j $(JOBS))
	$(call timed,tests,ctest --test-dir $(BUILD_DIR) --output-on-failure --no-tests=error -j $(JOBS))

$(ASAN_DIR)/build.ninja:
	$(call deps,build test gstreamer)
	cmake -S . -B $(ASAN_DIR) $(HEADLESS_FLAGS) -DINTRO_SANITIZE=$(ASAN_SANITIZERS)

test-asan: $(ASAN_DIR)/build.ninja
	$(call deps,build test gstreamer)
	$(call configure,$(ASAN_DIR),$(HEADLESS_FLAGS) -DINTRO_SANITIZE=$(ASAN_SANITIZERS))
	$(call timed,AddressSanitizer + UndefinedBehaviorSanitizer build,cmake --build $(ASAN_DIR) -j $(JOBS))
	$(call timed,tests under AddressSanitizer + UndefinedBehaviorSanitizer,\
		env $(SANITIZER_ENV) ctest --test-dir $(ASAN_DIR) --output-on-failure -j $(JOBS) -E '$(ASAN_SKIPPED_TESTS)')

$(TSAN_DIR)/build.ninja:
	$(call deps,build test)
	cmake -S . -B $(TSAN_DIR) $(HEADLESS_FLAGS) -DINTRO_SANITIZE=thread

test-tsan: $(TSAN_DIR)/build.ninja
	$(call deps,build test)
	$(call timed,ThreadSanitizer build,cmake --build $(TSAN_DIR) -j $(JOBS) --target playback_tests)
	$(call timed,playback tests under ThreadSanitizer,\
		env $(SANITIZER_ENV) ctest --test-dir $(TSAN_DIR) --output-on-failure -L playback)

# libFuzzer needs clang.
$(FUZZ_DIR)/build.ninja:
	$(call deps,build test fuzz)
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_DIR) $(HEADLESS_FLAGS) -DINTRO_BUILD_FUZZERS=ON

fuzz-build: $(FUZZ_DIR)/build.ninja
	$(call deps,build test fuzz)
	cmake --build $(FUZZ_DIR) -j $(JOBS) --target song_fuzzer seed_songs intro_song

test-fuzz: $(FUZZ_DIR)/build.ninja
	$(call timed,fuzzer build,$(MAKE) --no-print-directory fuzz-build)
	$(call timed,$(TEST_FUZZ_SECONDS) s fuzz run,\
		tests/fuzz/run_fuzzer.sh $(FUZZ_DIR) $(FUZZ_DIR)/test-run $(TEST_FUZZ_SECONDS))

windows-libs:
	$(call deps,build windows)
	@JOBS=$(JOBS) scripts/build-windows-libs.sh $(WINDOWS_TOOLCHAIN) $(WINDOWS_LIBS)

# The native programs the cross builds and their checks take from
# $(BUILD_DIR): the asset generators (exported for the Windows and web
# builds), xm2wav, resource_dump and the song. With HOST_TOOLS_BUILT set they
# are known to be built: the Windows and web builds then run side by side
# without configuring the same folder at once.
HOST_TOOLS := song_compiler image_generator xm2wav resource_dump intro_song
host-tools:
	@if [ -z "$(HOST_TOOLS_BUILT)" ]; then \
		$(call configure,$(BUILD_DIR),$(CMAKE_FLAGS)) && cmake --build $(BUILD_DIR) -j $(JOBS) --target $(HOST_TOOLS); fi

# build-windows/intro.exe and build-windows/xm2wav.exe.
windows: windows-libs host-tools
	@[ -f $(WINDOWS_DIR)/build.ninja ] || cmake -S . -B $(WINDOWS_DIR) $(WINDOWS_FLAGS)
	cmake --build $(WINDOWS_DIR) -j $(JOBS) --target intro xm2wav

$(WINDOWS64_DIR)/build.ninja:
	cmake -S . -B $(WINDOWS64_DIR) $(WINDOWS64_FLAGS) > /dev/null

windows64: $(WINDOWS64_DIR)/build.ninja host-tools
	cmake --build $(WINDOWS64_DIR) -j $(JOBS) --target xm2wav

# The Windows programs under wine against the Linux ones. A kernel built
# without 32-bit programs cannot start wine's 32-bit loader: there xm2wav
# runs as built for 64-bit Windows, under wine64, and intro.exe's files are
# checked but it is not run.
test-windows:
	$(call deps,build headless test windows)
	@if $(STARTS_32BIT_PROGRAMS); then $(MAKE) --no-print-directory windows-checks; else \
		echo "This machine cannot start 32-bit programs: wine runs xm2wav.exe as built for 64-bit Windows."; \
		$(MAKE) --no-print-directory windows-checks WINDOWS_RUN_DIR=$(WINDOWS64_DIR) WINDOWS_RUN_TARGET=windows64; fi

WINDOWS_RUN_DIR ?= $(WINDOWS_DIR)
windows-checks:
	$(call timed,Windows build,$(MAKE) --no-print-directory windows $(WINDOWS_RUN_TARGET))
	$(call timed,Windows programs under wine,\
		tests/windows/run_checks.sh $(WINDOWS_DIR) $(WINDOWS_RUN_DIR) $(BUILD_DIR) $(REAL_SONGS_CACHE))

web-libs:
	$(call deps,web)
	@JOBS=$(JOBS) $(WEB_ENV) scripts/build-web-libs.sh $(EMSCRIPTEN_TOOLCHAIN) $(WEB_LIBS)

# build-web/: index.html (the presentation), player.html (the song player),
# their scripts and modules, and serve.py.
web: web-libs host-tools
	$(call deps,build web)
	@[ -f $(WEB_DIR)/build.ninja ] || $(WEB_ENV) cmake -S . -B $(WEB_DIR) $(WEB_FLAGS)
	$(WEB_ENV) cmake --build $(WEB_DIR) -j $(JOBS) --target intro_web player_web

# Serves build-web/ on localhost with the cross-origin isolation headers.
serve-web: web
	/usr/bin/python3 $(WEB_DIR)/serve.py $(WEB_DIR) --port $(WEB_PORT)

# The pages in headless Chromium against the native render of the song.
test-web:
	$(call deps,build web test)
	$(call timed,web build,$(MAKE) --no-print-directory web)
	$(call timed,the web pages in headless Chromium,/usr/bin/python3 tests/web/web_checks.py \
		$(WEB_DIR) $(BUILD_DIR)/xm2wav $(BUILD_DIR)/assets/song.xm $(WEB_DIR)/checks $(REAL_SONGS_CACHE)/songs)

# dist/: the Linux tarball, the Windows zip, the web zip, the Debian packages, SHA256SUMS.
dist: windows web
	$(call deps,build video dist gstreamer)
	$(call configure,$(BUILD_DIR),$(CMAKE_FLAGS) $(DIST_FLAGS))
	cmake --build $(BUILD_DIR) -j $(JOBS) --target $(DIST_TARGETS)
	scripts/make-dist.sh $(BUILD_DIR) $(WINDOWS_DIR) $(WEB_DIR) $(DIST_DIR)

# The artifacts from the outside: unpacked and run, the packages extracted and checked.
# The Windows and web builds (their libraries' builds are mostly one core's
# work) run side by side, on the native tools built first; where wine cannot
# start 32-bit programs, the 64-bit xm2wav.exe the Windows checks run is
# built beside them too, while the longer web build goes on.
WINDOWS_FALLBACK = $(shell $(STARTS_32BIT_PROGRAMS) || echo windows64)
test-dist:
	$(call deps,build headless windows web dist gstreamer)
	rm -rf $(DIST_CHECK_NATIVE) $(DIST_CHECK_WINDOWS) $(DIST_CHECK_WEB)
	$(call timed,release artifacts from clean build folders,\
		$(MAKE) --no-print-directory host-tools BUILD_DIR=$(DIST_CHECK_NATIVE) && \
		$(MAKE) --no-print-directory -j 2 --output-sync=target dist $(WINDOWS_FALLBACK) HOST_TOOLS_BUILT=1 \
		BUILD_DIR=$(DIST_CHECK_NATIVE) WINDOWS_DIR=$(DIST_CHECK_WINDOWS) WEB_DIR=$(DIST_CHECK_WEB))
	$(call timed,release artifact checks,tests/dist/check_artifacts.sh $(DIST_DIR) $(DIST_CHECK_NATIVE) \
		$(DIST_CHECK_WINDOWS))

# The Windows and web checks side by side (wine and the browser leave a core
# idle much of the time), each stage's output printed whole when it ends.
test-platforms:
	$(call deps,build headless test windows web)
	$(MAKE) --no-print-directory host-tools
	$(MAKE) --no-print-directory -j 2 --output-sync=recurse test-windows test-web HOST_TOOLS_BUILT=1

# A long fuzz run whose corpus and findings stay in $(FUZZ_CORPUS)/.
fuzz: fuzz-build
	-@scripts/fetch-real-songs.sh $(REAL_SONGS_CACHE) > /dev/null
	tests/fuzz/run_fuzzer.sh $(FUZZ_DIR) $(FUZZ_CORPUS) $(FUZZ_SECONDS)

# The real presentation for SOAK_SECONDS on a virtual screen, M and resizes.
soak: build
	$(call deps,headless test)
	SOAK_SECONDS=$(SOAK_SECONDS) scripts/soak.sh $(BUILD_DIR)

# The end-to-end tests (those matching STRESS_TESTS) STRESS_ROUNDS times with every core kept busy.
stress: build
	$(call deps,headless test)
	scripts/stress.sh $(BUILD_DIR) $(STRESS_ROUNDS) '$(STRESS_TESTS)'

# Music rendering speed against the mature players (also as GStreamer
# decoders), the presentation's start-up and frame times, then the video
# capture's speed.
$(BENCH_DIR)/build.ninja:
	$(call deps,build video bench gstreamer)
	cmake -S . -B $(BENCH_DIR) -G Ninja -DCMAKE_BUILD_TYPE=Release -DINTRO_BUILD_BENCHMARKS=ON -DINTRO_BUILD_TESTS=OFF

bench: $(BENCH_DIR)/build.ninja
	$(call deps,build video bench gstreamer)
	cmake --build $(BENCH_DIR) -j $(JOBS)
	cmake --build $(BENCH_DIR) --target run_bench_music
	cmake --build $(BENCH_DIR) --target run_bench_gstreamer
	cmake --build $(BENCH_DIR) --target run_bench_presentation
	cmake --build $(BENCH_DIR) --target run_bench_capture
	$(MAKE) --no-print-directory bench-web

# The page's transfer size, its first frame and frame time in headless
# Chromium, and the engine's speed in WebAssembly against the native build.
bench-web: web $(BENCH_DIR)/build.ninja
	cmake --build $(BENCH_DIR) -j $(JOBS) --target xm2wav intro_song
	/usr/bin/python3 bench/web/web_bench.py $(WEB_DIR) $(BENCH_DIR)/xm2wav $(BENCH_DIR)/assets/song.xm \
		$(REAL_SONGS_CACHE)/songs

# Per behaviour case and real song, how close ours (each rule set) sounds to
# libxmp and libopenmpt, and how close they sound to each other.
fidelity:
	$(call deps,build test)
	$(call configure,$(BUILD_DIR),$(CMAKE_FLAGS))
	cmake --build $(BUILD_DIR) -j $(JOBS) --target xm2wav reference_render comparison_songs
	/usr/bin/python3 scripts/fidelity_report.py --build-dir $(BUILD_DIR) --cases $(BEHAVIOUR_CASES) \
		--cache $(REAL_SONGS_CACHE) --workers $(JOBS)

# Each slip of tests/mutants.txt in a scratch copy, built and run against the
# main suite; prints the test that caught each and `mutants: killed K of N`.
# Not part of `make test` (about a minute a slip); run it after engine changes.
MUTANTS_SCRATCH ?= /tmp/intro-mutants
mutants:
	$(call deps,build headless test video)
	/usr/bin/python3 scripts/mutants.py --scratch $(MUTANTS_SCRATCH) --jobs $(JOBS)

# Rewrites tests/real_songs/tracker_pins.txt from the current tracker rules
# (after a deliberate change of the sound; commit it with the reason).
repin-tracker:
	$(call deps,build test)
	$(call configure,$(BUILD_DIR),$(CMAKE_FLAGS))
	cmake --build $(BUILD_DIR) -j $(JOBS) --target xm2wav intro_song
	/usr/bin/python3 tests/real_songs/real_songs.py tracker-pinned --build-dir $(BUILD_DIR) \
		--cache $(REAL_SONGS_CACHE) --update

clean:
	rm -rf $(BUILD_DIR) $(ASAN_DIR) $(TSAN_DIR) $(FUZZ_DIR) $(BENCH_DIR) $(WINDOWS_DIR) $(WINDOWS64_DIR) $(WEB_DIR) $(DIST_DIR) \
		$(DIST_CHECK_NATIVE) $(DIST_CHECK_WINDOWS) $(DIST_CHECK_WEB)
