#!/usr/bin/env bash
# Runs the end-to-end tests ROUNDS times in a row while every core is kept
# busy by a background load, then prints passes and failures per test. The
# log of each failed run stays in BUILD_DIR/stress/.
# Usage: scripts/stress.sh [BUILD_DIR] [ROUNDS] [NAME_REGEX]  (the regex picks some of them)
set -euo pipefail
build_dir=$(realpath "${1:-build}")
rounds=${2:-20}
only=${3:-.}
log_dir="$build_dir/stress"
rm -rf "$log_dir"
mkdir -p "$log_dir"

mapfile -t tests < <(ctest --test-dir "$build_dir" -N -L e2e -R "$only" | sed -n 's/^ *Test *#[0-9]*: //p')
[ "${#tests[@]}" -gt 0 ] || { echo "stress: no end-to-end tests in $build_dir; build first" >&2; exit 1; }

# One busy loop per core, for the whole run.
load_pids=()
stop_load() { [ "${#load_pids[@]}" -eq 0 ] || kill "${load_pids[@]}" 2>/dev/null || true; }
trap stop_load EXIT
trap "exit 130" INT TERM
cores=$(nproc)
for _ in $(seq 1 "$cores"); do
  sh -c 'while :; do :; done' &
  load_pids+=($!)
done
echo "Stress: ${#tests[@]} end-to-end tests, $rounds rounds, $cores busy loops in the background"

declare -A passes failures
for name in "${tests[@]}"; do passes[$name]=0; failures[$name]=0; done
start=$SECONDS
for round in $(seq 1 "$rounds"); do
  failed_now=""
  for name in "${tests[@]}"; do
    log="$log_dir/round-$(printf %02d "$round")-$name.log"
    if ctest --test-dir "$build_dir" -R "^${name}\$" --output-on-failure > "$log" 2>&1; then
      passes[$name]=$(( passes[$name] + 1 ))
      rm -f "$log"
    else
      failures[$name]=$(( failures[$name] + 1 ))
      failed_now+=" $name"
    fi
  done
  echo "round $round/$rounds after $(( SECONDS - start )) s: ${failed_now:- all passed}"
done

total_failures=0
printf '\n%-40s %7s %9s\n' "test" "passes" "failures"
for name in "${tests[@]}"; do
  printf '%-40s %7d %9d\n' "$name" "${passes[$name]}" "${failures[$name]}"
  total_failures=$(( total_failures + failures[$name] ))
done
echo "Stress: $total_failures failures in $rounds rounds ($(( SECONDS - start )) s); failed runs' logs in $log_dir"
[ "$total_failures" -eq 0 ]
