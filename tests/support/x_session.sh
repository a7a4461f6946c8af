# Shared by the scripts that drive the real program on an X server; sourced,
# not run.

fail() { echo "FAIL: $*" >&2; exit 1; }

# The server may still be starting: no client of the test goes before it answers.
wait_for_server() {
    for _ in $(seq 200); do
        xdpyinfo >/dev/null 2>&1 && return 0
        sleep 0.05
    done
    fail "the X server on $DISPLAY does not answer"
}

# Prints the id of the first visible window whose title matches, waiting up
# to $2 seconds.
wait_window() {
    local pattern=$1 seconds=${2:-10} id
    for _ in $(seq $((seconds * 20))); do
        id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | head -1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.05
    done
    return 1
}
