#!/usr/bin/env bash
# Builds the archives of the hostile-input tests: links that lead out of the
# destination, set-ID modes and an oversized comment. Apart from
# make_archives.sh so that these can be remade without touching the others.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export LC_ALL=C.UTF-8 TZ=UTC
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
opts=(-ma5 -m3 -qo- -tsm -tsc- -tsa- -htc -o+ -idq -y)

# Symbolic links, stored as links (-ol). Order matters: the chain l2 goes
# through d/l1, which is packed before it.
mkdir -p "$stage/links/d"
cd "$stage/links"
echo inside > inside.txt
ln -s .. d/l1                  # inside: d/.. is the destination itself
ln -s d/l1/.. l2               # through d/l1: one level above the destination
ln -s ../escaped up            # plainly outside
ln -s /etc/hostname abs        # absolute
ln -s 'd//..//..' slashes      # doubled slashes, still outside
ln -s '..\..\win' back         # backslashes read as separators
ln -s d/../inside.txt ok       # inside (this library refuses it all the same)
find . -exec touch -h -d '2024-05-17 12:34:56' {} +
rm -f "$here/links.rar"
rar a "${opts[@]}" -ol "$here/links.rar" inside.txt d d/l1 l2 up abs slashes back ok

# A hard link and a file reference, each once to a packed file and once,
# patched, to a file beside the destination (../s1, ../s2), outside the
# archive's entries.
mkdir -p "$stage/refs"
cd "$stage/refs"
echo same > a.txt
ln a.txt hard.txt
cp a.txt copy.txt
find . -exec touch -h -d '2024-05-17 12:34:56' {} +
rm -f "$stage/hard.rar" "$stage/copy.rar" "$here/hardlink.rar" "$here/filecopy.rar"
rar a "${opts[@]}" -oh "$here/hardlink.rar" a.txt hard.txt
rar a "${opts[@]}" -oi:1 "$here/filecopy.rar" a.txt copy.txt
python3 "$here/datatool.py" retarget "$here/hardlink.rar" "$here/hardlink_outside.rar" a.txt ../s1
python3 "$here/datatool.py" retarget "$here/filecopy.rar" "$here/filecopy_outside.rar" a.txt ../s2

# Set-user-ID and set-group-ID programs.
mkdir -p "$stage/setid"
cd "$stage/setid"
for m in 4755 2755 6755; do printf '#!/bin/sh\n' > "m$m"; chmod "$m" "m$m"; done
find . -exec touch -h -d '2024-05-17 12:34:56' {} +
rm -f "$here/setid.rar"
rar a "${opts[@]}" "$here/setid.rar" m4755 m2755 m6755

# A comment of 100 KiB, more than the 64 KiB buffer the library is given.
cd "$stage"
python3 - <<'PY'
line = "Brambold Testkommentar, eine lange Zeile.\n"
open("big_comment.txt", "w").write(line * (100 * 1024 // len(line) + 1))
PY
echo small > small.txt
touch -d '2024-05-17 12:34:56' small.txt
rm -f "$here/big_comment.rar"
rar a "${opts[@]}" -scfc -z"$stage/big_comment.txt" "$here/big_comment.rar" small.txt

for a in links hardlink filecopy setid big_comment; do
    rar t -idq "$here/$a.rar"
done

# Records that must not be taken for a cut: recovery record, quick-open
# record and a comment, all in one archive.
cd "$here/source/ten"
rm -f "$here/records.rar"
rar a "${opts[@]}" -rr5% -qo+ -z"$here/source/comment.txt" "$here/records.rar" f01.txt f02.txt f03.txt
rar t -idq "$here/records.rar"
