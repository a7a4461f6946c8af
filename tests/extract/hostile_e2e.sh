#!/usr/bin/env bash
# The real program on an X server with a broken archive, with a close
# request in the middle of a run, with links that once led out of the
# destination, and with an overwrite that fails. Usage, under xvfb-run:
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
escape)
    # Links that once led writes out of the destination; the user's own
    # link docs -> ../outside stands in it.
    mkdir -p "$work/dest" "$work/outside"
    echo "the user's file" > "$work/outside/victim.txt"
    ln -s ../outside "$work/dest/docs"
    cp "$data/rar4_escape.rar" "$work/dest/"
    before=$(cd "$work" && find . -path ./dest -prune -o -printf '%p %s %T@\n' | sort)
    "$brambold" "$work/dest/rar4_escape.rar" &
    pid=$!
    window=$(wait_window "^Brambold Free Unrar" 10) || fail "no extraction window"
    work=$work/dest expect_error_road "$window"
    after=$(cd "$work" && find . -path ./dest -prune -o -printf '%p %s %T@\n' | sort)
    [ "$before" = "$after" ] || fail "something beside the destination changed: $after"
    [ "$(readlink "$work/dest/a")" = "b/c/d" ] || fail "the link a is not as archived"
    [ -f "$work/dest/l" ] && [ ! -L "$work/dest/l" ] || fail "l is not a plain file"
    ;;
overwrite)
    # "Overwrite all files!", then an entry whose data is damaged: the user's
    # old file must survive the failed overwrite.
    mkdir -p "$work/bin"
    echo mine > "$work/readme.txt"
    echo mine > "$work/bin/random.bin"
    cp "$data/damaged.rar" "$work/"
    "$brambold" "$work/damaged.rar" &
    pid=$!
    window=$(wait_window "^damaged.rar --> " 10) || fail "the extraction did not start"
    prompt=$(wait_window "^Brambold Free Unrar$" 20) || fail "no overwrite question"
    # Yes, No, then "Overwrite all files!": the focused button takes Return.
    xdotool windowfocus --sync "$prompt"
    xdotool key Tab Tab Return
    expect_error_road "$window"
    [ "$(cat "$work/bin/random.bin")" = mine ] || fail "the user's random.bin was lost"
    [ "$(cat "$work/readme.txt")" != mine ] || fail "readme.txt was not overwritten after Overwrite all files!"
    ls -a "$work" "$work/bin" | grep -q '^\.brambold-' && fail "a temporary file was left"
    ;;
killed)
    # Killed or told to end in the middle of a large entry, on tmpfs and on
    # ext4: nothing is left under any name, and the next run unpacks it all.
    head -c 400M /dev/zero > "$work/zeros.bin"
    (cd "$work" && rar a -m1 -idq zeros.rar zeros.bin && rm zeros.bin)
    dests=("$(mktemp -d /dev/shm/brambold-killed.XXXXXX)")
    cleanup_killed() {
        [ -n "$pid" ] && kill -9 "$pid" 2>/dev/null || true
        mountpoint -q "$work/ext4" && umount "$work/ext4"
        rm -rf "${dests[0]}" "$work"
    }
    trap cleanup_killed EXIT
    if [ "$(id -u)" = 0 ] && truncate -s 1G "$work/ext4.img" && mkfs.ext4 -q "$work/ext4.img" &&
        mkdir "$work/ext4" && mount -o loop "$work/ext4.img" "$work/ext4" 2>/dev/null; then
        mkdir "$work/ext4/dest"
        dests+=("$work/ext4/dest")
    else
        echo "NOTE: no ext4 image could be mounted here; tmpfs only"
    fi
    for dest in "${dests[@]}"; do
        cp "$work/zeros.rar" "$dest/"
        for signal in KILL TERM; do
            "$brambold" "$dest/zeros.rar" &
            pid=$!
            window=$(wait_window "^zeros.rar --> " 10) || fail "the extraction did not start"
            # Data has arrived once the run holds an unnamed file with bytes in it.
            writing=
            for _ in $(seq 400); do
                for fd in /proc/$pid/fd/*; do
                    target=$(readlink "$fd" 2>/dev/null) || continue
                    case $target in
                    "$dest"/*" (deleted)") [ "$(stat -L -c %s "$fd" 2>/dev/null || echo 0)" -gt 0 ] && writing=1 ;;
                    esac
                done
                [ -n "$writing" ] && break
                sleep 0.01
            done
            [ -n "$writing" ] || fail "no data was being written ($signal, $dest)"
            kill -"$signal" "$pid"
            if [ "$signal" = TERM ]; then
                # As the close button does: the run stops, the log says why.
                dest_work=$dest
                work=$dest_work expect_error_road "$window"
            else
                wait "$pid" 2>/dev/null || true
                pid=
            fi
            left=$(ls -A "$dest")
            [ "$left" = zeros.rar ] || fail "left after $signal in $dest: $left"
            echo "nothing left after SIG$signal in $dest"
        done
        "$brambold" "$dest/zeros.rar" &
        pid=$!
        # The error road would wait with its status log: ending by itself
        # with the whole file is the OK road.
        ended=
        for _ in $(seq 1200); do
            kill -0 "$pid" 2>/dev/null || { wait "$pid" && ended=1; break; }
            sleep 0.05
        done
        pid=
        [ -n "$ended" ] || fail "the run after the killed ones did not end by itself in $dest"
        [ "$(stat -c %s "$dest/zeros.bin")" = $((400 * 1024 * 1024)) ] || fail "zeros.bin is not whole"
        [ "$(ls -A "$dest" | sort | tr '\n' ' ')" = "zeros.bin zeros.rar " ] || fail "extra names in $dest"
        rm -f "$dest/zeros.bin"
    done
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name"
