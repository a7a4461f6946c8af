#!/usr/bin/env python3
"""Small helpers for make_archives.sh: deterministic bytes, an entry-less
RAR5 archive (rar erases an archive once its last entry is deleted), and
damaging a copy of an archive at a chosen place."""
import sys
import zlib


def seeded_bytes(seed, count):
    # xorshift32: tiny, and the same bytes on every machine.
    x = seed & 0xFFFFFFFF or 1
    out = bytearray()
    while len(out) < count:
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out += x.to_bytes(4, "little")
    return bytes(out[:count])


def vint(n):
    out = bytearray()
    while True:
        b = n & 0x7F
        n >>= 7
        if n:
            out.append(b | 0x80)
        else:
            out.append(b)
            return bytes(out)


def rar5_block(body):
    # body starts with the header type; the size field covers it, the CRC covers both.
    data = vint(len(body)) + body
    return zlib.crc32(data).to_bytes(4, "little") + data


def empty_rar5():
    signature = b"Rar!\x1a\x07\x01\x00"
    main = rar5_block(vint(1) + vint(0) + vint(0))      # main header, no flags, no archive flags
    end = rar5_block(vint(5) + vint(0) + vint(0))       # end of archive, last volume
    return signature + main + end


def read_vint(data, pos):
    value, shift = 0, 0
    while True:
        b = data[pos]
        pos += 1
        value |= (b & 0x7F) << shift
        shift += 7
        if not b & 0x80:
            return value, pos


def retarget(data, old, new):
    # Replaces a link target in a RAR5 header by another of the same length
    # and mends that header's CRC, so the library reads it as written.
    assert len(old) == len(new)
    at = data.rfind(old)
    assert at >= 0, "target not found"
    pos = 8
    while pos < len(data):
        size, body = read_vint(data, pos + 4)
        _, after_type = read_vint(data, body)
        flags, p = read_vint(data, after_type)
        end = body + size
        data_size = 0
        if flags & 1:
            _, p = read_vint(data, p)
        if flags & 2:
            data_size, p = read_vint(data, p)
        if pos <= at < end:
            data = data[:at] + new + data[at + len(old):]
            crc = zlib.crc32(data[pos + 4:end]).to_bytes(4, "little")
            return data[:pos] + crc + data[pos + 4:]
        pos = end + data_size
    raise SystemExit("datatool: target not inside a header")


def drop_password_check(data):
    # Removes the password check value (and its checksum) from a RAR5
    # archive encryption header, the first block: archives of early RAR 5
    # betas and other writers may lack it. Nothing after it moves relative
    # to the block's end, so only this header's size, flags and CRC change.
    pos = 8
    size, body = read_vint(data, pos + 4)
    end = body + size
    htype, p = read_vint(data, body)
    assert htype == 4, "no archive encryption header first"
    hflags, p = read_vint(data, p)
    assert hflags == 0
    version, p = read_vint(data, p)
    enc_flags, p = read_vint(data, p)
    assert enc_flags & 1, "no password check value"
    rest = data[p:end]                       # KDF count, salt, check value, checksum
    fields = vint(htype) + vint(hflags) + vint(version) + vint(enc_flags & ~1) + rest[:1 + 16]
    return data[:pos] + rar5_block(fields) + data[end:]


def main(argv):
    cmd = argv[1]
    if cmd == "bytes":                       # bytes SEED COUNT OUT
        with open(argv[4], "wb") as f:
            f.write(seeded_bytes(int(argv[2]), int(argv[3])))
    elif cmd == "empty-rar5":                # empty-rar5 OUT
        with open(argv[2], "wb") as f:
            f.write(empty_rar5())
    elif cmd == "truncate":                  # truncate IN OUT KEEP_BYTES
        with open(argv[2], "rb") as f:
            data = f.read()
        with open(argv[3], "wb") as f:
            f.write(data[:int(argv[4])])
    elif cmd == "damage":                    # damage IN OUT NEEDLE_FILE: flip bytes inside the stored data of NEEDLE_FILE
        with open(argv[2], "rb") as f:
            data = bytearray(f.read())
        with open(argv[4], "rb") as f:
            needle = f.read()
        at = data.find(needle[1024:1088])
        if at < 0:
            sys.exit("damage: the file's data is not stored verbatim in the archive")
        for i in range(at, at + 16):
            data[i] ^= 0xFF
        with open(argv[3], "wb") as f:
            f.write(data)
        print(at)
    elif cmd == "find":                      # find ARCHIVE NEEDLE_FILE: offset of the file's stored data
        with open(argv[2], "rb") as f:
            data = f.read()
        with open(argv[3], "rb") as f:
            needle = f.read()
        print(data.find(needle[:64]))
    elif cmd == "retarget":                  # retarget IN OUT OLD NEW: same-length link target swap
        with open(argv[2], "rb") as f:
            data = f.read()
        with open(argv[3], "wb") as f:
            f.write(retarget(data, argv[4].encode(), argv[5].encode()))
    elif cmd == "drop-password-check":       # drop-password-check IN OUT
        with open(argv[2], "rb") as f:
            data = f.read()
        with open(argv[3], "wb") as f:
            f.write(drop_password_check(data))
    else:
        sys.exit("datatool: unknown command " + cmd)


if __name__ == "__main__":
    main(sys.argv)
