# checksum of 100 MB by each method: the twin of checksum.xeb, through
# hashlib and zlib.
import hashlib
import time
import zlib

data = bytes.fromhex('00112233445566778899AABBCCDDEEFF') * 6553600
for m in ['md5', 'sha1', 'sha256', 'sha384', 'sha512', 'crc32', 'adler32']:
    t = time.perf_counter()
    if m in ('crc32', 'adler32'):
        getattr(zlib, m)(data)
    else:
        hashlib.new(m, data).digest()
    print(m, time.perf_counter() - t)
