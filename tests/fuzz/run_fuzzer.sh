#!/usr/bin/env bash
# Runs the song fuzzer for a number of seconds and keeps what it finds.
# Usage: run_fuzzer.sh BUILD_DIR WORK_DIR SECONDS
#   BUILD_DIR  a build folder configured with clang and INTRO_BUILD_FUZZERS=ON
#   WORK_DIR   keeps corpus/ (grows from run to run), seeds/ (rewritten each
#              run) and findings/ (inputs that crashed, leaked or hung)
# Seeds: the generated small songs, the embedded song, the saved regression
# inputs and, when present, the real-song cache. Exit status 0 when nothing
# was found.
set -euo pipefail
build_dir=$(realpath "$1")
work_dir=$2
seconds=$3
here=$(realpath "$(dirname "$0")")
project_dir=$(realpath "$here/../..")
max_length=${FUZZ_MAX_LEN:-65536}
real_songs=${INTRO_REAL_SONGS:-$project_dir/.cache/real-songs/songs}

mkdir -p "$work_dir/corpus" "$work_dir/findings"
work_dir=$(realpath "$work_dir")
rm -rf "$work_dir/seeds"
"$build_dir/tests/fuzz/seed_songs" "$work_dir/seeds"
if [ -f "$build_dir/assets/song.xm" ]; then
  cp "$build_dir/assets/song.xm" "$work_dir/seeds/embedded_song.xm"
fi
seed_folders=("$work_dir/seeds" "$here/regressions")
if compgen -G "$real_songs/*.xm" > /dev/null; then
  seed_folders+=("$real_songs")
else
  echo "run_fuzzer: no real songs in $real_songs; seeding with the small songs only"
fi

findings_before=$(find "$work_dir/findings" -type f | wc -l)
log="$work_dir/last-run.log"
echo "Fuzzing the song loader and player for ${seconds} s (log: $log)"
status=0
# Corpus first: libFuzzer adds what it learns to the first folder only.
"$build_dir/song_fuzzer" "$work_dir/corpus" "${seed_folders[@]}" \
  -max_total_time="$seconds" -max_len="$max_length" -timeout=30 -rss_limit_mb=2048 \
  -dict="$here/song.dict" -artifact_prefix="$work_dir/findings/" -print_final_stats=1 \
  > "$log" 2>&1 || status=$?

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2)
corpus_size=$(find "$work_dir/corpus" -type f | wc -l)
findings_after=$(find "$work_dir/findings" -type f | wc -l)
echo "Fuzzing: ${executions:-?} executions (${rate:-?}/s), coverage ${coverage:-?} edges," \
     "corpus $corpus_size inputs, $(( findings_after - findings_before )) new findings"
if [ "$status" -ne 0 ] || [ "$findings_after" -ne "$findings_before" ]; then
  echo "FAIL: the fuzzer stopped with status $status; its report:" >&2
  grep -A 40 -m 1 -E '^==[0-9]+==|runtime error|^INFO: libFuzzer: timeout|deadly signal' "$log" >&2 || tail -n 40 "$log" >&2
  echo "Reproduce with: $build_dir/song_fuzzer FILE; inputs are in $work_dir/findings/" >&2
  exit 1
fi
