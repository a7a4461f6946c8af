#!/usr/bin/env bash
# Rebuilds every test archive in this folder from the trees under source/.
#
#   tests/data/make_archives.sh [path/to/make_rar4]
#
# The RAR5 archives come from `rar` (7.x); the RAR4 ones from our own
# make_rar4 tool (built as target make_rar4), which is looked for in the
# build folders when no path is given. File times, modes and entry order are
# fixed here so that two runs give the same listing; encrypted archives still
# differ byte for byte (random salt).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
rar4_tool=${1:-}
export LC_ALL=C.UTF-8 TZ=UTC

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp -r "$here/source/." "$stage/"
# git keeps neither empty folders nor modes beyond the executable bit.
mkdir -p "$stage/tree/empty"
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
chmod 444 "$stage/tree/readonly.txt"
find "$stage" -exec touch -h -d '2024-05-17 12:34:56' {} +

# -ma5 RAR5, -m3 normal, -qo- no quick-open records, -tsm only the
# modification time (-tsc- -tsa- no others), -htc CRC32 checksums,
# -o+ replace, -idq quiet. Entries come from list files so the order is ours,
# not the file system's.
rar_opts=(-ma5 -m3 -qo- -tsm -tsc- -tsa- -htc -o+ -idq -y)

pack() {  # pack ARCHIVE SOURCE_DIR [extra options...] -- ENTRIES...
    local archive=$1 dir=$2
    shift 2
    local extra=()
    while [ "$1" != "--" ]; do extra+=("$1"); shift; done
    shift
    rm -f "$here/$archive"
    (cd "$stage/$dir" && rar a "${rar_opts[@]}" "${extra[@]}" "$here/$archive" "$@")
}

tree_entries=(readme.txt Müller.txt 日本語.txt readonly.txt
              docs docs/guide.txt docs/deep docs/deep/table.csv
              docs/deep/nested docs/deep/nested/notes.txt
              bin bin/pattern.bin bin/random.bin empty)

pack plain.rar tree -- "${tree_entries[@]}"
pack solid.rar tree -s -ds -- "${tree_entries[@]}"
pack ten.rar ten -- f01.txt f02.txt f03.txt f04.txt f05.txt f06.txt f07.txt f08.txt f09.txt f10.txt
pack comment.rar comment -scfc -z"$stage/comment.txt" -- first.txt second.txt third.txt
pack password.rar comment -psecret -- first.txt second.txt third.txt
pack headers_password.rar comment -hpsecret -- first.txt second.txt third.txt
pack sizes.rar sizes -- s9.txt s10.txt s100.txt
rm -f "$here"/volumes_[0-9].rar
pack volumes.rar volumes -v100k -- big.bin small.bin
# rar names the set volumes.part1.rar ...; the library finds the next volume
# by the number in front of ".rar" whatever the name, so "volumes_1.rar" works
# as well and keeps our file names plain.
for n in 1 2 3; do
    mv "$here/volumes.part$n.rar" "$here/volumes_$n.rar"
done

for a in plain solid ten comment sizes volumes_1; do
    rar t -idq "$here/$a.rar"
done
rar t -idq -psecret "$here/password.rar"
rar t -idq -psecret "$here/headers_password.rar"

# rar erases an archive whose last entry is deleted, so the entry-less
# archive is written directly: signature, main header, end of archive.
python3 "$here/datatool.py" empty-rar5 "$here/empty.rar"

# Damaged copies of plain.rar: cut, or with bytes flipped, inside the stored
# data of bin/random.bin (incompressible, so rar stores it verbatim).
at=$(python3 "$here/datatool.py" find "$here/plain.rar" "$stage/tree/bin/random.bin")
[ "$at" -ge 0 ] || { echo "random.bin not stored verbatim in plain.rar" >&2; exit 1; }
python3 "$here/datatool.py" truncate "$here/plain.rar" "$here/truncated.rar" $((at + 10000))
python3 "$here/datatool.py" damage "$here/plain.rar" "$here/damaged.rar" "$stage/tree/bin/random.bin" >/dev/null

# RAR4 archives, from our own writer (rar 7 writes RAR5 only).
if [ -z "$rar4_tool" ]; then
    for candidate in "$here"/../../build*/bin/make_rar4; do
        [ -x "$candidate" ] && rar4_tool=$candidate && break
    done
fi
if [ -z "$rar4_tool" ] || [ ! -x "$rar4_tool" ]; then
    echo "make_archives.sh: make_rar4 not found; build the target make_rar4 or pass its path" >&2
    exit 1
fi
rm -f "$here"/rar4_*.rar "$here"/rar4_volumes.r[0-9][0-9]
"$rar4_tool" "$stage" "$here"
for a in "$here"/rar4_*.rar; do
    case "$a" in
        *_[2-9].rar) continue ;;                 # tested from the first volume
        */rar4_hp*) pw=(-pPASSWORD) ;;            # headers encrypted
        *) pw=() ;;
    esac
    rar t -idq "${pw[@]}" "$a" >/dev/null || { echo "rar rejects $a" >&2; exit 1; }
done
