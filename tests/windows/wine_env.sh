# Sourced by the Windows checks: wine with a 32-bit prefix of its own inside
# the Windows build folder, quiet, without the Mono and Gecko installers.
# Usage: source wine_env.sh WINDOWS_BUILD_DIR
export WINEPREFIX="$(realpath "$1")/wine-prefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

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
    wineboot --init > /dev/null 2>&1
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
export -f wait_until wait_for_frames
