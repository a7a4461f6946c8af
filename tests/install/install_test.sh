#!/usr/bin/env bash
# Checks the program as `cmake --install` lays it out, staged with DESTDIR.
# Usage: install_test.sh CASE BUILD_DIR DATA_DIR
#   layout    the program folder, the relative link, the desktop files
#   mime      a desktop with no other RAR handler opens RAR files with us
#   validate  desktop-file-validate and appstreamcli on the installed files
#   package   the Debian package of this build: its fields and its link
#   run       (under an X server) the installed program, started as a file
#             manager starts it, unpacks an archive and finds its help files
set -euo pipefail

case_name=$1 build=$2 data=$3
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

stage=$work/stage
DESTDIR=$stage "${CMAKE:-cmake}" --install "$build" --prefix /usr >/dev/null
usr=$stage/usr
program_dir=$usr/lib/brambold
desktop=$usr/share/applications/brambold.desktop
mime_types=(application/vnd.rar application/x-rar application/x-rar-compressed)

case $case_name in
layout)
    # Relative, so it holds wherever the tree is unpacked (DESTDIR, package).
    [ -L "$usr/bin/brambold" ] || fail "bin/brambold is not a link"
    [ "$(readlink "$usr/bin/brambold")" = ../lib/brambold/brambold ] ||
        fail "bin/brambold points at $(readlink "$usr/bin/brambold")"
    [ -x "$usr/bin/brambold" ] || fail "bin/brambold does not lead to the program"
    for f in CoreHelpEN.dat CoreHelpDE.dat License.txt; do
        cmp -s "$program_dir/$f" "$(dirname "$0")/../../resources/help/$f" || fail "$f is not beside the program"
    done
    # Every entry that starts the program names an existing command, one
    # archive per copy, and the full set of RAR types.
    for f in "$desktop" "$usr/share/kio/servicemenus/brambold.desktop" \
             "$usr/share/nemo/actions/brambold.nemo_action" "$usr/share/file-manager/actions/brambold.desktop"; do
        exec_line=$(sed -n 's/^Exec=//p' "$f")
        case $exec_line in
            "brambold %f" | "brambold %F") ;;
            *) fail "$f runs '$exec_line'" ;;
        esac
        types=$(grep -iE '^Mime-?Types?=' "$f" | cut -d= -f2)
        [ "$types" = "$(IFS=';'; echo "${mime_types[*]}");" ] || fail "$f names the types '$types'"
    done
    grep -qx 'TryExec=brambold' "$desktop" || fail "no TryExec"
    grep -qx 'Icon=brambold' "$desktop" || fail "the desktop entry shows another icon"
    for size in 16 22 24 32 48 64 128 256; do
        png=$usr/share/icons/hicolor/${size}x$size/apps/brambold.png
        [[ $(file "$png") == *"PNG image data, $size x $size,"* ]] || fail "$png is not $size x $size"
    done
    ;;
mime)
    # A desktop that knows no other application: only the staged entries.
    empty=$work/empty
    mkdir "$empty"
    update-desktop-database "$usr/share/applications"
    for type in "${mime_types[@]}"; do
        answer=$(XDG_DATA_DIRS=$usr/share XDG_DATA_HOME=$empty XDG_CONFIG_HOME=$empty \
                 XDG_CONFIG_DIRS=$empty XDG_CURRENT_DESKTOP= xdg-mime query default "$type")
        [ "$answer" = brambold.desktop ] || fail "$type opens with '$answer'"
    done
    ;;
validate)
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
    appstreamcli validate --no-net "$usr"/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"
    ;;
package)
    "${CPACK:-cpack}" --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >/dev/null
    deb=$(ls "$work"/package/brambold_*.deb)
    # Besides the linked libraries, what the program only loads at run time.
    depends=", $(dpkg-deb --field "$deb" Depends),"
    for p in libunrar5 fonts-liberation2 libqt6widgets6 libjpeg62-turbo; do
        [[ $depends == *", $p,"* || $depends == *", $p ("* ]] || fail "Depends lacks $p:$depends"
    done
    section=$(dpkg-deb --field "$deb" Section)
    [ "$section" = contrib/utils ] || fail "section $section"
    contents=$(dpkg-deb --contents "$deb")
    grep -q ' ./usr/bin/brambold -> ../lib/brambold/brambold$' <<<"$contents" ||
        fail "the package holds no relative bin link"
    ;;
run)
    . "$(dirname "$0")/../support/x_session.sh"
    wait_for_server
    mkdir "$work/My Files" "$work/home" "$work/config" "$work/runtime"
    chmod 700 "$work/runtime"
    cp "$data/plain.rar" "$work/My Files/"
    archive="$work/My Files/plain.rar"

    # The help files must be read from the installed program folder, which
    # the program only finds by resolving the bin link.
    inotifywait -m -e open --format '%f' "$program_dir" >"$work/opened" 2>"$work/watch" &
    pids+=("$!")
    for _ in $(seq 100); do grep -qs 'Watches established' "$work/watch" && break; sleep 0.05; done
    grep -qs 'Watches established' "$work/watch" || fail "inotifywait did not start"

    # As a file manager does: the entry's Exec line with %f replaced, the
    # command found through PATH, started from an unrelated folder.
    read -r -a command <<<"$(sed -n 's/^Exec=//p' "$desktop")"
    for i in "${!command[@]}"; do [ "${command[$i]}" = %f ] && command[$i]=$archive; done
    (cd / && HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime \
        XDG_DATA_DIRS=$usr/share:/usr/share PATH=$usr/bin:$PATH exec "${command[@]}") &
    pid=$!
    pids+=("$pid")

    # The window shows the installed icon.
    window=$(wait_window "^Brambold Free Unrar" 10) || fail "no extraction window"
    [[ $(xprop -id "$window" _NET_WM_ICON) == *"Icon ("* ]] || fail "the window has no icon"
    for _ in $(seq 400); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -0 "$pid" 2>/dev/null && fail "the program did not end by itself"
    code=0
    wait "$pid" || code=$?
    [ "$code" = 0 ] || fail "exit code $code"

    diff -r -x '*.rar' -x empty "$data/source/tree" "$work/My Files" || fail "the archive was not unpacked intact"
    grep -qx CoreHelpEN.dat "$work/opened" || { cat "$work/opened"; fail "the help file was not read from $program_dir"; }
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name"
