#!/usr/bin/env bash
# Makes zeros.rar: one entry of 400,000,000 zero bytes that packs to a few
# kilobytes, so a test can stop the extraction in the middle of one entry.
set -euo pipefail
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c 400000000 /dev/zero > "$work/zeros.bin"
rm -f zeros.rar
(cd "$work" && LC_ALL=C.UTF-8 TZ=UTC rar a -ma5 -m1 -tsm -tsc- -tsa- -idq -y archive.rar zeros.bin)
mv "$work/archive.rar" zeros.rar
