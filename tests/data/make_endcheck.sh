#!/usr/bin/env bash
# Builds the RAR5 archives with encrypted headers (-hp) that the end check
# walks with the password: a whole one, a volume set, and one without the
# password check value. Apart from make_archives.sh so that these can be
# remade without touching the others; the salt is random, so every run
# gives other bytes (restore them from git when nothing changed).
#
# The RAR4 ones (rar4_hp*.rar, rar4_numbered_*.rar) come from make_rar4,
# run by make_archives.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export LC_ALL=C.UTF-8 TZ=UTC
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
opts=(-ma5 -m3 -qo- -tsm -tsc- -tsa- -htc -o+ -idq -y -hpPASSWORD)

cp -r "$here/source/sizes" "$here/source/volumes" "$here/source/comment.txt" "$stage/"
find "$stage" -exec touch -h -d '2024-05-17 12:34:56' {} +

# Three files and an archive comment (a service header, encrypted too).
rm -f "$here/hp5.rar"
(cd "$stage/sizes" && rar a "${opts[@]}" -z"$stage/comment.txt" "$here/hp5.rar" s9.txt s10.txt s100.txt)

# A volume set: small.bin (40,000 bytes) over three volumes.
rm -f "$here"/hp5_volumes_[0-9].rar
(cd "$stage/volumes" && rar a "${opts[@]}" -v16k "$here/hp5_volumes.rar" small.bin)
# rar names them hp5_volumes.partN.rar; named like the other sets instead.
for n in 1 2 3; do mv "$here/hp5_volumes.part$n.rar" "$here/hp5_volumes_$n.rar"; done

# One file, a password of 150 characters: rar keeps the first 127.
rm -f "$here/hp5_long.rar"
long=$(printf 'q%.0s' $(seq 150))
(cd "$stage/sizes" && rar a "${opts[@]/-hpPASSWORD/-hp$long}" "$here/hp5_long.rar" s9.txt)
rar t -idq -p"$long" "$here/hp5_long.rar"

# The same as hp5.rar, its encryption header without the password check value.
python3 "$here/datatool.py" drop-password-check "$here/hp5.rar" "$here/hp5_nocheck.rar"

for a in hp5 hp5_volumes_1 hp5_nocheck; do
    rar t -idq -pPASSWORD "$here/$a.rar"
done
