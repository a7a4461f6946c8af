#!/usr/bin/env bash
# The real program's roads that need no X server: --help and --version, one
# line and status 1 where a window is needed and no display opens, and why the
# UnRAR library did not load. Usage:
#   cli.sh BRAMBOLD UNRAR_LOAD_PROBE FAKE_UNRAR
set -euo pipefail

brambold=$1 probe=$2 fake=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
failures=0
check() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Runs the program with no display at all; leaves code, out and err.
headless() {
    code=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u XDG_SESSION_TYPE "$@" \
        >"$work/out" 2>"$work/err" </dev/null || code=$?
    out=$(cat "$work/out") err=$(cat "$work/err")
}

# Options: the lone argument prints and ends, even with no display.
usage_start='Usage: brambold ARCHIVE.rar'
for row in "--help|$usage_start" "-h|$usage_start" \
           "--version|Brambold Free Unrar 2.54" "-v|Brambold Free Unrar 2.54"; do
    option=${row%%|*} expected=${row#*|}
    headless "$brambold" "$option"
    [ "$code" = 0 ] || check "$option: exit code $code"
    [ -z "$err" ] || check "$option wrote to stderr: $err"
    case $option in
        -v | --version) [ "$out" = "$expected" ] || check "$option printed '$out'" ;;
        *) [[ $out == "$expected"* && $out == *"brambold(1)"* ]] || check "$option printed '$out'" ;;
    esac
done

# Every road with a window, without a display: one line, status 1, no abort.
touch "$work/a.rar"
none='brambold: cannot open a display (neither DISPLAY nor WAYLAND_DISPLAY is set)'
free=0
while [ -e "/tmp/.X11-unix/X$free" ] || [ -e "/tmp/.X$free-lock" ]; do free=$((free + 1)); done
for row in "launcher||$none" \
           "archive|$work/a.rar|$none" \
           "missing archive|$work/missing.rar|$none" \
           "option with another word|-h x|$none" \
           "dead X server|DISPLAY=:$free|brambold: cannot open a display (DISPLAY=:$free)" \
           "unknown platform|QT_QPA_PLATFORM=none|brambold: cannot open a display (QT_QPA_PLATFORM=none)"; do
    IFS='|' read -r name arguments expected <<<"$row"
    settings=() words=()
    case $arguments in
        *=*) settings=("$arguments") ;;
        ?*) read -r -a words <<<"$arguments" ;;
    esac
    headless "${settings[@]}" "$brambold" "${words[@]}"
    [ "$code" = 1 ] || check "$name: exit code $code, not 1"
    [ "$err" = "$expected" ] || check "$name: stderr was '$err'"
    [ -z "$out" ] || check "$name wrote to stdout: $out"
done

# The library that did not load: why, once, whatever the number of tries.
printf 'no library\n' >"$work/text.so"
for row in "missing file|$work/missing.so|cannot open shared object file" \
           "not a library|$work/text.so|$work/text.so: " \
           "a library without the calls|libc.so.6|it has no function RAROpenArchive"; do
    IFS='|' read -r name library reason <<<"$row"
    code=0
    BRAMBOLD_UNRAR_LIBRARY=$library "$probe" >"$work/out" 2>"$work/err" || code=$?
    [ "$code" = 0 ] || check "$name: the probe ended with $code"
    [ "$(cat "$work/out")" = $'not loaded\nnot loaded' ] || check "$name: $(cat "$work/out")"
    [ "$(wc -l <"$work/err")" = 1 ] || check "$name: not one line on stderr: $(cat "$work/err")"
    line=$(head -1 "$work/err")
    for part in "brambold: the UnRAR library $library (named by BRAMBOLD_UNRAR_LIBRARY) was not loaded: " \
                "$reason" "install the package libunrar5 from Debian's non-free component"; do
        [[ $line == *"$part"* ]] || check "$name: '$line' lacks '$part'"
    done
done
# The default name is the one tried when the variable is not set.
code=0
env -u BRAMBOLD_UNRAR_LIBRARY LD_LIBRARY_PATH=/nonexistent "$probe" >"$work/out" 2>"$work/err" || code=$?
if [ "$(head -1 "$work/out")" = "not loaded" ]; then
    grep -q '^brambold: the UnRAR library libunrar.so.5 was not loaded: ' "$work/err" ||
        check "the default name: $(cat "$work/err")"
fi
# A library that loads says nothing.
BRAMBOLD_UNRAR_LIBRARY=$fake "$probe" >"$work/out" 2>"$work/err"
[ "$(cat "$work/out")" = $'loaded\nloaded' ] || check "the fake library did not load: $(cat "$work/err")"
[ ! -s "$work/err" ] || check "a library that loads wrote: $(cat "$work/err")"

[ "$failures" = 0 ] || fail "$failures checks failed"
echo "PASS"
