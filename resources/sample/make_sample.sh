#!/usr/bin/env bash
# Rebuilds sample.rar, the archive ./scripts/run opens, from source/.
# rar options: -ma5 RAR5, -m3 normal, -qo- no quick-open records, -tsm only
# modification times, -scfc comment file in UTF-8, -z the comment.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
export LC_ALL=C.UTF-8 TZ=UTC
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp -r "$here/source/." "$stage/"
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
find "$stage" -exec touch -h -d '2024-05-17 12:00:00' {} +

rm -f "$here/sample.rar"
cd "$stage"
rar a -ma5 -m3 -qo- -tsm -tsc- -tsa- -htc -idq -y -scfc -z"$here/comment.txt" "$here/sample.rar" \
    "Brambold Sample" \
    "Brambold Sample/Willkommen.txt" \
    "Brambold Sample/Grüße.txt" \
    "Brambold Sample/こんにちは.txt" \
    "Brambold Sample/Texte" \
    "Brambold Sample/Texte/Notizen.txt" \
    "Brambold Sample/Texte/Gedichte" \
    "Brambold Sample/Texte/Gedichte/Frühling.txt" \
    "Brambold Sample/Daten" \
    "Brambold Sample/Daten/Tabelle.csv"
rar t -idq "$here/sample.rar"
