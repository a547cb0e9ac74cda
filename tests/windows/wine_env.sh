# Sourced by the Windows checks: wine with a 32-bit prefix of its own inside
# the Windows build folder, quiet, without the Mono and Gecko installers.
# Usage: source wine_env.sh WINDOWS_BUILD_DIR
export WINEPREFIX="$(realpath "$1")/wine-prefix"
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# Creates the prefix on first use (several seconds) and waits until wine has
# written it out, so the checks do not time its creation.
prepare_wine_prefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the wine prefix $WINEPREFIX"
    wineboot --init > /dev/null 2>&1
    wineserver --wait
  fi
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
