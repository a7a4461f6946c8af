#!/usr/bin/env bash
# Drives the real program on an X server, reading window titles and typing
# keys with xdotool. Usage, under xvfb-run:
#   e2e.sh CASE BRAMBOLD CLOSE_WINDOW DATA_DIR
set -euo pipefail

case_name=$1 brambold=$2 close_window=$3 data=$4
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

. "$(dirname "$0")/../support/x_session.sh"

# "shutdown" ends every process named brambold that it can see. Run in a PID
# namespace of its own, it sees only the copies this case starts, whoever else
# runs the program on the machine; a decoy of that name outside must survive.
if [ "$case_name" = shutdown ] && [ -z "${BRAMBOLD_E2E_NAMESPACE:-}" ]; then
    namespace=(--pid --fork --mount-proc)
    [ "$(id -u)" = 0 ] || namespace=(--user --map-root-user "${namespace[@]}")
    if ! unshare "${namespace[@]}" true 2>/dev/null; then
        echo "SKIP: no PID namespace here, and outside one this case would end every copy on the machine"
        exit 77
    fi
    cp /bin/sleep "$work/brambold"
    "$work/brambold" 60 & decoy=$!; pids+=("$decoy")
    code=0
    BRAMBOLD_E2E_NAMESPACE=1 unshare "${namespace[@]}" "$0" "$@" || code=$?
    kill -0 "$decoy" 2>/dev/null || fail "a process named brambold outside the namespace was ended"
    exit "$code"
fi
wait_for_server

# Waits up to $2 seconds for our child $1 to end; its exit code goes to
# $code. Runs in this shell, never in $(...), so that `wait` sees the child.
wait_exit() {
    local pid=$1 seconds=$2
    for _ in $(seq $((seconds * 20))); do
        if ! kill -0 "$pid" 2>/dev/null; then
            code=0
            wait "$pid" 2>/dev/null || code=$?
            return 0
        fi
        sleep 0.05
    done
    return 1
}

# Records every title window $1 shows while process $2 runs, one a line.
record_titles() {
    local window=$1 pid=$2 last="" title
    while kill -0 "$pid" 2>/dev/null; do
        title=$(xdotool getwindowname "$window" 2>/dev/null || true)
        if [ -n "$title" ] && [ "$title" != "$last" ]; then
            echo "$title"
            last=$title
        fi
        sleep 0.02
    done
}

# Types the password into every password prompt that comes up while process
# $1 runs; the listing may ask as well as the extraction.
answer_password_prompts() {
    local pid=$1 answered=0 prompt
    while kill -0 "$pid" 2>/dev/null; do
        prompt=$(xdotool search --onlyvisible --name "^Protected Archive - Enter Password:$" 2>/dev/null | head -1 || true)
        if [ -n "$prompt" ]; then
            xdotool windowfocus --sync "$prompt" type --delay 20 secret
            xdotool key Return
            answered=$((answered + 1))
            while xdotool search --onlyvisible --name "^Protected Archive" >/dev/null 2>&1 \
                  && kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
        fi
        sleep 0.05
    done
    echo "$answered"
}

# The extracted files must equal the source tree byte for byte.
same_tree() {
    local source=$1 target=$2
    diff -r -x '*.rar' -x empty "$source" "$target" || fail "extracted files differ from $source"
}

case $case_name in
extract)
    # Plain "C": the names with umlauts and CJK characters must still come out.
    mkdir "$work/My Files"
    cp "$data/plain.rar" "$work/My Files/"
    LANG=C LC_ALL= "$brambold" "$work/My Files/plain.rar" &
    pid=$!; pids+=("$pid")
    window=$(wait_window "^Brambold Free Unrar" 10) || fail "no extraction window"
    shown=$(xdotool search --onlyvisible --name "^Brambold Free Unrar" 2>/dev/null | wc -l || true)
    [ "$shown" -eq 1 ] || fail "the launcher came up beside the extraction window"
    record_titles "$window" "$pid" > "$work/titles"
    wait_exit "$pid" 5 || fail "the program did not end by itself"
    [ "$code" = 0 ] || fail "exit code $code"
    grep -qx "OK! --> $work/My Files" "$work/titles" || { cat "$work/titles"; fail "no completion caption"; }
    same_tree "$data/source/tree" "$work/My Files"
    [ -d "$work/My Files/empty" ] || fail "the empty folder was not made"
    ;;
barename)
    # Runs the program copy from folder $1 with the bare name $2; it must end
    # by itself on "OK! --> $3".
    unpack_bare() {
        (cd "$real/$1" && exec "$real/program/brambold" "$2") &
        pid=$!; pids+=("$pid")
        window=$(wait_window "^Brambold Free Unrar" 10) || fail "no extraction window for $2 from $1"
        record_titles "$window" "$pid" > "$work/titles"
        wait_exit "$pid" 5 || fail "the program did not end by itself"
        [ "$code" = 0 ] || fail "exit code $code"
        grep -qx "OK! --> $3" "$work/titles" || { cat "$work/titles"; fail "no completion caption naming $3"; }
    }
    # A bare name is looked for beside the program first, then in the current
    # folder. A copy of the program in a folder of our own lets this case put
    # an archive beside it. Names as the program sees them: links resolved.
    real=$(cd "$work" && pwd -P)
    mkdir "$real/program" "$real/here" "$real/both"
    cp "$brambold" "$real/program/brambold"
    # Found only in the current folder: unpacked there.
    cp "$data/plain.rar" "$real/here/x.rar"
    unpack_bare here x.rar "$real/here"
    same_tree "$data/source/tree" "$real/here"
    # The same name beside the program and in the current folder: the one
    # beside the program is listed and unpacked, beside it.
    cp "$data/plain.rar" "$real/both/y.rar"
    cp "$data/ten.rar" "$real/program/y.rar"
    unpack_bare both y.rar "$real/program"
    diff -r -x '*.rar' -x brambold "$data/source/ten" "$real/program" || fail "the program folder's archive was not unpacked"
    made=$(cd "$real/both" && find . -mindepth 1 ! -name y.rar)
    [ -z "$made" ] || fail "the current folder's archive was unpacked: $made"
    ;;
password)
    cp "$data/password.rar" "$work/"
    "$brambold" "$work/password.rar" &
    pid=$!; pids+=("$pid")
    wait_window "^Brambold Free Unrar" 10 >/dev/null || fail "no extraction window"
    answered=$(answer_password_prompts "$pid")
    [ "$answered" -ge 1 ] || fail "no password prompt came up"
    wait_exit "$pid" 5 || fail "the program did not end"
    [ "$code" = 0 ] || fail "exit code $code"
    for f in first.txt second.txt third.txt; do
        cmp "$data/source/comment/$f" "$work/$f" || fail "$f not extracted intact"
    done
    ;;
missing)
    # An unquoted path with a blank arrives as two arguments.
    "$brambold" "$work/My" "Files/missing.rar" &
    pid=$!; pids+=("$pid")
    box=$(wait_window "^Error: File not found!$" 10) || fail "no error box"
    ! xdotool search --onlyvisible --name "^Brambold Free Unrar" >/dev/null 2>&1 || fail "a window came up"
    xdotool windowfocus --sync "$box" key Return
    wait_exit "$pid" 5 || fail "the program did not end after the box"
    [ "$code" = 0 ] || fail "exit code $code"
    ;;
launcher)
    "$brambold" &
    pid=$!; pids+=("$pid")
    window=$(wait_window "^Brambold Free Unrar$" 10) || fail "no launcher window"
    "$close_window" "$window"
    wait_exit "$pid" 5 || fail "closing the launcher did not end the program"
    [ "$code" = 0 ] || fail "exit code $code"
    ;;
nolibrary)
    # The window says "not loaded"; stderr says why, once.
    cp "$data/plain.rar" "$work/"
    BRAMBOLD_UNRAR_LIBRARY=$work/missing/libunrar.so.5 "$brambold" "$work/plain.rar" 2>"$work/err" &
    pid=$!; pids+=("$pid")
    window=$(wait_window "^Brambold Free Unrar" 10) || fail "no extraction window"
    wait_window "^Brambold Free Unrar Status$" 10 >/dev/null || fail "the status log did not open"
    title=$(xdotool getwindowname "$window")
    [ "$title" = "Fehler! --> $work" ] || fail "the caption is '$title'"
    made=$(cd "$work" && find . -mindepth 1 ! -name plain.rar ! -name err)
    [ -z "$made" ] || fail "something was unpacked: $made"
    n=$(grep -c '^brambold: the UnRAR library ' "$work/err" || true)
    [ "$n" = 1 ] || { cat "$work/err"; fail "the reason came $n times"; }
    line=$(grep '^brambold: the UnRAR library ' "$work/err")
    for part in "$work/missing/libunrar.so.5" "cannot open shared object file" libunrar5 non-free; do
        [[ $line == *"$part"* ]] || fail "'$line' does not name '$part'"
    done
    ;;
shutdown)
    cp "$data/password.rar" "$work/a.rar"
    cp "$data/password.rar" "$work/b.rar"
    "$brambold" "$work/a.rar" & first=$!; pids+=("$first")
    "$brambold" "$work/b.rar" & second=$!; pids+=("$second")
    # Something else that must survive.
    sleep 30 & other=$!; pids+=("$other")
    for _ in $(seq 200); do
        n=$(xdotool search --onlyvisible --name "^Protected Archive - Enter Password:$" 2>/dev/null | wc -l || true)
        [ "$n" -ge 2 ] && break
        sleep 0.05
    done
    [ "$n" -ge 2 ] || fail "the two copies did not both reach their password prompt"
    "$brambold" shutdown || fail "shutdown exit code $?"
    for pid in "$first" "$second"; do
        wait_exit "$pid" 5 || fail "copy $pid still runs"
        [ "$code" = 137 ] || fail "copy $pid ended with $code, not by the kill"
    done
    kill -0 "$other" 2>/dev/null || fail "a process of another name was ended"
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name"
