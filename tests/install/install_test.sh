#!/usr/bin/env bash
# Checks the program as `cmake --install` lays it out, staged with DESTDIR.
# Usage: install_test.sh CASE BUILD_DIR DATA_DIR
#   layout    the program folder, the relative link, the configuration links,
#             the desktop files, the manual page
#   mime      a desktop with no other RAR handler opens RAR files with us
#   validate  desktop-file-validate and appstreamcli on the installed files
#   package   the Debian package built from debian/ by scripts/package: its
#             fields, its files, its debug symbols, and lintian
#   run       (under an X server) the installed program, started as a file
#             manager starts it, unpacks an archive and finds its help files
#   config    (under an X server) the configuration links: one that leads
#             nowhere is no file, one that leads to a file is read through
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
# A fixed folder for the package build: the compiler is told its path, so
# ccache finds its earlier work only there.
export PACKAGE_BUILD_DIR=$build/package-test PACKAGE_OUTPUT_DIR=$work/out
DESTDIR=$stage "${CMAKE:-cmake}" --install "$build" --prefix /usr >/dev/null
usr=$stage/usr
program_dir=$usr/lib/brambold
desktop=$usr/share/applications/brambold.desktop
mime_types=(application/vnd.rar application/x-rar application/x-rar-compressed)
config_files=(folder.txt silent.txt password.txt)

# Points the staged configuration links into $1, so that no file of the
# machine's /etc/brambold takes part.
repoint_config() {
    mkdir -p "$1"
    for name in "${config_files[@]}"; do ln -sfn "$1/$name" "$program_dir/$name"; done
}

# Checks the manual page $1 as man shows it: no formatter warnings, and the
# sections a reader looks for.
check_manual() {
    local shown
    shown=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$1" 2>"$work/man.err") || fail "man -l $1"
    [ ! -s "$work/man.err" ] && return 0
    cat "$work/man.err" >&2
    fail "man warns about $1"
}
check_manual_text() {
    local shown
    shown=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$1" 2>/dev/null)
    for part in "brambold - unpack RAR archives" SYNOPSIS "brambold shutdown" "--help" "--version" \
                "EXIT STATUS" FILES "/etc/brambold/folder.txt" "/etc/brambold/silent.txt" \
                "/etc/brambold/password.txt" "Tessmark/Brambold Free Unrar.conf" "Installer%20Language" \
                BRAMBOLD_UNRAR_LIBRARY libunrar5 non-free "SEE ALSO"; do
        [[ $shown == *"$part"* ]] || fail "the manual page does not show '$part'"
    done
}

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
    # The configuration is in /etc, which stays empty; the program folder
    # holds links to where its files would be.
    [ -d "$stage/etc/brambold" ] || fail "no /etc/brambold"
    [ -z "$(ls -A "$stage/etc/brambold")" ] || fail "/etc/brambold is not empty"
    for name in "${config_files[@]}"; do
        [ -L "$program_dir/$name" ] || fail "$name in the program folder is not a link"
        [ "$(readlink "$program_dir/$name")" = "/etc/brambold/$name" ] ||
            fail "$name points at $(readlink "$program_dir/$name")"
    done
    # Under another prefix, the configuration folder follows it.
    DESTDIR=$work/local "${CMAKE:-cmake}" --install "$build" --prefix /usr/local >/dev/null
    [ "$(readlink "$work/local/usr/local/lib/brambold/folder.txt")" = /usr/local/etc/brambold/folder.txt ] ||
        fail "under /usr/local, folder.txt points at $(readlink "$work/local/usr/local/lib/brambold/folder.txt")"
    # A file left in the program folder by the old rule is kept.
    rm "$work/local/usr/local/lib/brambold/silent.txt"
    echo kept >"$work/local/usr/local/lib/brambold/silent.txt"
    DESTDIR=$work/local "${CMAKE:-cmake}" --install "$build" --prefix /usr/local >/dev/null 2>&1
    [ "$(cat "$work/local/usr/local/lib/brambold/silent.txt")" = kept ] || fail "an old silent.txt was replaced"

    man=$usr/share/man/man1/brambold.1
    [ -f "$man" ] || fail "no manual page"
    check_manual "$man"
    check_manual_text "$man"
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
    # The real build through dpkg-buildpackage, on a copy of this tree.
    "$(dirname "$0")/../../scripts/package" >/dev/null ||
        fail "scripts/package failed"
    deb=$(ls "$work"/out/brambold_*.deb)
    [ "$(basename "$deb")" = brambold_2.54-1_amd64.deb ] || fail "the package is $(basename "$deb")"
    # Besides the linked libraries, what the program only loads at run time.
    depends=", $(dpkg-deb --field "$deb" Depends),"
    for p in libunrar5 fonts-liberation2 libqt6widgets6 libjpeg62-turbo; do
        [[ $depends == *", $p,"* || $depends == *", $p ("* ]] || fail "Depends lacks $p:$depends"
    done
    section=$(dpkg-deb --field "$deb" Section)
    [ "$section" = contrib/utils ] || fail "section $section"
    contents=$(dpkg-deb --contents "$deb")
    for entry in ' ./usr/bin/brambold -> ../lib/brambold/brambold$' \
                 ' ./usr/lib/brambold/folder.txt -> /etc/brambold/folder.txt$' \
                 ' ./usr/lib/brambold/silent.txt -> /etc/brambold/silent.txt$' \
                 ' ./usr/lib/brambold/password.txt -> /etc/brambold/password.txt$' \
                 ' ./etc/brambold/$' ' ./usr/share/man/man1/brambold.1.gz$' \
                 ' ./usr/share/doc/brambold/copyright$' ' ./usr/share/doc/brambold/changelog.Debian.gz$'; do
        grep -q -- "$entry" <<<"$contents" || fail "the package holds no '$entry'"
    done
    # Nothing else in /etc: the package brings no configuration of its own.
    extra=$(grep -E ' \./etc/.+[^/]$' <<<"$contents" || true)
    [ -z "$extra" ] || fail "the package puts files into /etc: $extra"

    # The program is stripped, with its debug symbols in the dbgsym package
    # under its build ID.
    dpkg-deb -x "$deb" "$work/unpacked"
    program=$work/unpacked/usr/lib/brambold/brambold
    sections=$(readelf -S -W "$program")
    [[ $sections != *.debug_info* && $sections != *" .comment "* ]] || fail "the program is not stripped"
    build_id=$(readelf -n "$program" | sed -n 's/.*Build ID: //p')
    dbgsym=$(dpkg-deb --contents "$(ls "$PACKAGE_BUILD_DIR"/brambold-dbgsym_*.deb)")
    grep -q "/usr/lib/debug/.build-id/${build_id:0:2}/${build_id:2}.debug$" <<<"$dbgsym" ||
        fail "the debug symbols are not under the build ID $build_id"
    # Debian's hardening: relro with bind-now, fortified calls.
    grep -q GNU_RELRO <<<"$(readelf -l -W "$program")" || fail "no relro"
    grep -Eq 'BIND_NOW|FLAGS_1.*NOW' <<<"$(readelf -d -W "$program")" || fail "no bind-now"
    grep -q '__[a-z_]*_chk@' <<<"$(readelf --dyn-syms -W "$program")" || fail "no fortified calls"

    check_manual "$work/unpacked/usr/share/man/man1/brambold.1.gz"

    # lintian: nothing above the level of information, and nothing left
    # unexplained at any level.
    # Its scratch files go with ours: lintian leaves some in /tmp.
    TMPDIR=$work lintian --pedantic --display-info "$deb" >"$work/lintian" 2>&1 || true
    if grep -Eq '^[EWIP]: ' "$work/lintian"; then
        cat "$work/lintian" >&2
        fail "lintian has remarks"
    fi
    ;;
run)
    . "$(dirname "$0")/../support/x_session.sh"
    wait_for_server
    repoint_config "$work/etc/brambold"
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

    # The window shows the installed icon, looked up once its event loop runs.
    window=$(wait_window "^Brambold Free Unrar" 10) || fail "no extraction window"
    for _ in $(seq 20); do
        [[ $(xprop -id "$window" _NET_WM_ICON) == *"Icon ("* ]] && break
        sleep 0.05
    done
    [[ $(xprop -id "$window" _NET_WM_ICON) == *"Icon ("* ]] || fail "the window has no icon"
    for _ in $(seq 400); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -0 "$pid" 2>/dev/null && fail "the program did not end by itself"
    code=0
    wait "$pid" || code=$?
    [ "$code" = 0 ] || fail "exit code $code"

    diff -r -x '*.rar' -x empty "$data/source/tree" "$work/My Files" || fail "the archive was not unpacked intact"
    grep -qx CoreHelpEN.dat "$work/opened" || { cat "$work/opened"; fail "the help file was not read from $program_dir"; }
    ;;
config)
    . "$(dirname "$0")/../support/x_session.sh"
    wait_for_server
    etc=$work/etc/brambold
    repoint_config "$etc"
    export HOME=$work/home XDG_CONFIG_HOME=$work/config
    mkdir -p "$HOME" "$XDG_CONFIG_HOME"
    # Unpacks $1 with the staged program; it must end by itself, without a
    # prompt nobody would answer.
    unpack() {
        local pid code=0
        "$program_dir/brambold" "$1" &
        pid=$!
        pids+=("$pid")
        for _ in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
        kill -0 "$pid" 2>/dev/null && fail "$2: the program did not end by itself"
        wait "$pid" || code=$?
        [ "$code" = 0 ] || fail "$2: exit code $code"
    }
    # Every link leads nowhere: no destination file, no password.
    mkdir "$work/a"
    cp "$data/plain.rar" "$work/a/"
    unpack "$work/a/plain.rar" "no files"
    diff -r -x '*.rar' -x empty "$data/source/tree" "$work/a" >/dev/null || fail "not unpacked into the archive's folder"
    # folder.txt written in /etc: read through its link.
    mkdir "$work/b" "$work/destination"
    cp "$data/plain.rar" "$work/b/"
    echo "$work/destination" >"$etc/folder.txt"
    unpack "$work/b/plain.rar" "folder.txt"
    diff -r -x empty "$data/source/tree" "$work/destination" >/dev/null || fail "not unpacked into folder.txt's folder"
    [ "$(ls -A "$work/b")" = plain.rar ] || fail "unpacked beside the archive despite folder.txt"
    rm "$etc/folder.txt"
    # silent.txt: the password comes from it, so no prompt comes up.
    mkdir "$work/c"
    cp "$data/password.rar" "$work/c/"
    echo secret >"$etc/silent.txt"
    unpack "$work/c/password.rar" "silent.txt"
    for f in first.txt second.txt third.txt; do
        cmp -s "$data/source/comment/$f" "$work/c/$f" || fail "$f not unpacked with the password of silent.txt"
    done
    ;;
*)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name"
