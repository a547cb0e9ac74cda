# Waiting for a state in the end-to-end scripts, never for a fixed time.
# Source it: source scripts/polling.sh

# poll_until SECONDS COMMAND [ARGS...]: runs the command every 50 ms until it
# succeeds (status 0) or SECONDS have passed (status 1); the caller says what
# was not reached.
poll_until() {
  local seconds=$1
  shift
  local deadline=$(( ${EPOCHREALTIME/./} + seconds * 1000000 ))
  until "$@"; do
    [ "${EPOCHREALTIME/./}" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

# process_ended PID: true once the process no longer runs.
process_ended() { ! kill -0 "$1" 2>/dev/null; }
