# Sourced by the Windows checks: wine with a prefix of its own inside the
# Windows build folder, quiet, without the Mono and Gecko installers, for the
# word size of the folder's programs.
# Usage: source wine_env.sh WINDOWS_BUILD_DIR
export WINEPREFIX="$(realpath "$1")/wine-prefix"
export WINEDEBUG=-all
# No crash debugger: a crash ends the program (its status tells) instead of
# leaving a debugger waiting that holds the wine session open.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

readonly pe_machine_x86_64=8664
# The machine field of a PE file's header, in hexadecimal: 14c for x86.
pe_machine() {
  local header_offset
  header_offset=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
  od -An -tx2 -j $((header_offset + 4)) -N 2 "$1" | tr -d ' '
}

# Debian's wine starts 32-bit programs through a 32-bit loader; 64-bit
# programs take wine64 and a 64-bit prefix.
if [ "$(pe_machine "$1/xm2wav.exe")" = "$pe_machine_x86_64" ]; then
  export WINEARCH=win64 WINELOADER=/usr/lib/wine/wine64
else
  export WINEARCH=win32
  unset WINELOADER
fi
wine() { "${WINELOADER:-/usr/bin/wine}" "$@"; }

# Whether this machine starts 32-bit programs at all: some kernels are built
# without them, and then wine's 32-bit loader cannot run.
starts_32bit_programs() {
  /usr/lib/wine/wine --version > /dev/null 2>&1
}

# Waits until every wine process of the prefix has ended. A wine session
# keeps the display it started with (its desktop process draws there), so a
# run on a new virtual screen must not join a session that is still ending.
end_wine_session() {
  wineserver --wait
}

# Creates the prefix on first use (several seconds) and waits until wine has
# written it out, so the checks do not time its creation.
prepare_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the wine prefix $WINEPREFIX"
    wine wineboot --init > /dev/null 2>&1
  fi
  end_wine_session
}

# Polls COMMAND every 0.1 s until it succeeds or SECONDS have passed.
# Usage: wait_until SECONDS COMMAND [ARGS...]
wait_until() {
  local deadline=$(( $(date +%s%N) + $1 * 1000000000 ))
  shift
  until "$@"; do
    [ "$(date +%s%N)" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# Waits until the screen has changed COUNT times, that is until the program
# has presented at least COUNT new frames (its picture moves every frame).
# The program reads key states once a frame, so after a key is released it
# needs two frames (events delivered, then read) before a new press counts.
# Usage: wait_for_frames COUNT SECONDS
wait_for_frames() {
  local wanted=$1 changes=0 previous current
  local deadline=$(( $(date +%s%N) + $2 * 1000000000 ))
  previous=$(xwd -root -silent | md5sum)
  while [ "$changes" -lt "$wanted" ]; do
    [ "$(date +%s%N)" -lt "$deadline" ] || return 1
    current=$(xwd -root -silent | md5sum)
    if [ "$current" != "$previous" ]; then
      changes=$((changes + 1))
      previous=$current
    fi
  done
}

# Also for the scripts that run under with-xvfb.sh.
export -f wait_until wait_for_frames wine
