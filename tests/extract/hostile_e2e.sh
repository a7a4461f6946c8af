#!/usr/bin/env bash
# The real program on an X server with a broken archive and with a close
# request in the middle of a run. Usage, under xvfb-run:
#   hostile_e2e.sh CASE BRAMBOLD CLOSE_WINDOW DATA_DIR
set -euo pipefail

case_name=$1 brambold=$2 close_window=$3 data=$4
work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/../support/x_session.sh"
wait_for_server

# Waits for the error road: the caption, then the status log, closed by its
# close box; then the program must end by itself.
expect_error_road() {
    local window=$1 status
    status=$(wait_window "^Brambold Free Unrar Status$" 20) || fail "no status log came up"
    title=$(xdotool getwindowname "$window" 2>/dev/null || true)
    [ "$title" = "Fehler! --> $work" ] || fail "caption '$title'"
    "$close_window" "$status"
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid" || fail "exit code $?"; pid=; return 0; }
        sleep 0.05
    done
    fail "the program did not end after the status log"
}

case $case_name in
cut)
    # One byte short: the library ends it as if whole.
    head -c -1 "$data/plain.rar" > "$work/cut.rar"
    "$brambold" "$work/cut.rar" &
    pid=$!
    window=$(wait_window "^Brambold Free Unrar" 10) || fail "no extraction window"
    expect_error_road "$window"
    ;;
close)
    # 400 MB of zeros packed small, so the run lasts long enough to be closed.
    head -c 400M /dev/zero > "$work/zeros.bin"
    (cd "$work" && rar a -m1 -idq zeros.rar zeros.bin && rm zeros.bin)
    "$brambold" "$work/zeros.rar" &
    pid=$!
    window=$(wait_window "^zeros.rar --> " 10) || fail "the extraction did not start"
    "$close_window" "$window"
    expect_error_road "$window"
    size=$(stat -c %s "$work/zeros.bin" 2>/dev/null || echo 0)
    [ "$size" -lt $((400 * 1024 * 1024)) ] || fail "the run went on to its end"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name"
