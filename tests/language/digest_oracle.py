#!/usr/bin/env python3
"""Digest oracle: checksum's digests, HMACs and sums against python3.

Runs the program on a script that prints, for each input file, every
digest, every HMAC under each key, the CRC-32, Adler-32 and Internet
checksum, and checks each line against hashlib, hmac, zlib and a plain
RFC 1071 sum written here.

    digest_oracle.py PROGRAM
"""
import hashlib
import hmac
import os
import random
import subprocess
import sys
import tempfile
import zlib

METHODS = ['md5', 'sha1', 'sha256', 'sha384', 'sha512']


def internet_checksum(data):
    """RFC 1071: big-endian 16-bit words, an odd last byte as a high byte."""
    if len(data) % 2:
        data += b'\0'
    total = sum(int.from_bytes(data[i:i + 2], 'big') for i in range(0, len(data), 2))
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    return ~total & 0xFFFF


def main():
    program = sys.argv[1]
    rng = random.Random(19)
    inputs = {
        'empty': b'',
        'one': b'\x80',
        'mega': bytes(rng.getrandbits(8) for _ in range((1 << 20) + 7)),  # tails past the 16- and 32-byte blocks
    }
    # Keys: empty, short, exactly a 64-byte block, one past it, longer than
    # the 128-byte block of SHA-384 and SHA-512.
    keys = {
        'k0': b'',
        'k3': b'key',
        'k64': bytes(range(64)),
        'k65': bytes(range(65)),
        'k200': bytes(rng.getrandbits(8) for _ in range(200)),
    }
    with tempfile.TemporaryDirectory() as d:
        lines = ['Xeb []']
        expected = []
        for name, data in {**inputs, **keys}.items():
            with open(os.path.join(d, name), 'wb') as f:
                f.write(data)
        for name, data in inputs.items():
            lines.append(f'd: read/binary %{d}/{name}')
            for m in METHODS:
                lines.append(f"print enbase/base checksum d '{m} 16")
                expected.append(hashlib.new(m, data).hexdigest().upper())
                for kname, key in keys.items():
                    lines.append(f"print enbase/base checksum/with d '{m} read/binary %{d}/{kname} 16")
                    expected.append(hmac.new(key, data, m).hexdigest().upper())
            lines.append("print checksum d 'crc32")
            expected.append(str(zlib.crc32(data) - (1 << 32 if zlib.crc32(data) >= 1 << 31 else 0)))
            lines.append("print checksum d 'adler32")
            a = zlib.adler32(data)
            expected.append(str(a - (1 << 32 if a >= 1 << 31 else 0)))
            lines.append("print checksum d 'tcp")
            expected.append(str(internet_checksum(data)))
        script = os.path.join(d, 'oracle.xeb')
        with open(script, 'w') as f:
            f.write('\n'.join(lines) + '\n')
        out = subprocess.run([program, script], capture_output=True, text=True, timeout=120)
        got = out.stdout.split('\n')
        if out.returncode != 0 or len(got) < len(expected):
            print('program failed:', out.returncode, out.stdout[-2000:], out.stderr[-2000:])
            return 1
        bad = 0
        for i, (g, e) in enumerate(zip(got, expected)):
            if g != e:
                print(f"mismatch at result {i}: got {g} expected {e}")
                bad += 1
        print(f'{len(expected)} results compared, {bad} wrong')
        return 1 if bad else 0


if __name__ == '__main__':
    sys.exit(main())
