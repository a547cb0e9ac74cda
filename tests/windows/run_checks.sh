#!/usr/bin/env bash
# The Windows programs, each check with its time: what they import, xm2wav.exe
# under wine against the Linux xm2wav, the resources read back from intro.exe,
# and intro.exe's picture and sound under wine on a virtual screen.
# The release programs' files are read as they are; the programs run under
# wine are those same ones, or, where the machine cannot start 32-bit
# programs, xm2wav.exe from the same sources built for 64-bit Windows.
# Usage: run_checks.sh RELEASE_BUILD_DIR RUN_BUILD_DIR LINUX_BUILD_DIR REAL_SONGS_CACHE
set -euo pipefail
release_dir=$(realpath "$1")
windows_dir=$(realpath "$2")
linux_dir=$(realpath "$3")
songs_cache=$4
here=$(realpath "$(dirname "$0")")
work_dir="$windows_dir/checks"
source "$here/wine_env.sh" "$windows_dir"
[ "$release_dir" = "$windows_dir" ] || echo "release programs from $release_dir, run under wine from $windows_dir"

prepare_wine_prefix
passed=0
failed=0
run_check() {
  local name=$1
  shift
  local start
  start=$(date +%s)
  echo "-- $name"
  if "$@"; then
    passed=$((passed + 1))
    echo "-- $name: passed in $(( $(date +%s) - start )) s"
  else
    failed=$((failed + 1))
    echo "-- $name: FAILED after $(( $(date +%s) - start )) s"
  fi
}

run_check "programs need nothing but Windows" \
  /usr/bin/python3 "$here/check_programs.py" "$release_dir/intro.exe" "$release_dir/xm2wav.exe"
run_check "xm2wav.exe renders as the Linux xm2wav" \
  "$here/xm2wav_matches_linux.sh" "$windows_dir" "$linux_dir" "$songs_cache" "$work_dir/xm2wav"
run_check "resources of intro.exe" \
  /usr/bin/python3 "$here/check_resources.py" "$release_dir/intro.exe" "$linux_dir/resource_dump" "$work_dir/resources"
if [ -f "$windows_dir/intro.exe" ]; then
  run_check "intro.exe picture at 1280x720" "$here/picture_under_wine.sh" "$windows_dir" "$work_dir/picture"
  run_check "intro.exe sound through waveOut" "$here/sound_under_wine.sh" "$windows_dir" "$work_dir/sound"
else
  echo "-- intro.exe picture and sound under wine: NOT RUN, no intro.exe in $windows_dir"
fi
echo "intro.exe: $(stat -c %s "$release_dir/intro.exe") bytes, xm2wav.exe: $(stat -c %s "$release_dir/xm2wav.exe") bytes"
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
