"""Reading ZIP archives in the tests without the product's code: the walk
over local headers and the traditional cipher, shared by the tool tests
and the end-to-end tests (each puts this folder on its import path), and
the deep member names both give archives, and a stream zipfile cannot
seek back in, which makes it write archives as jar and pipes do."""
import io
import struct

LOCAL_HEADER = b"PK\x03\x04"
DESCRIPTOR = b"PK\x07\x08"


def local_headers(data, start):
    """The local headers from `start` as dicts, walked by the sizes in the
    headers and over data descriptors with their signature, as the stub
    walks; "data" is where a member's data begins. Returns the members and
    where the walk ended."""
    members = []
    offset = start
    while data[offset:offset + 4] == LOCAL_HEADER:
        (_, _, flags, method, dos_time, dos_date, crc, csize, size, nlen, xlen) = struct.unpack_from(
            "<IHHHHHIIIHH", data, offset)
        begin = offset + 30 + nlen + xlen
        members.append(dict(offset=offset, data=begin, flags=flags, method=method, time=dos_time, date=dos_date,
                            crc=crc, csize=csize, size=size, name=data[offset + 30:offset + 30 + nlen],
                            extra=data[offset + 30 + nlen:begin]))
        offset = begin + csize
        while data[offset:offset + 4] == DESCRIPTOR:
            offset += 16
    return members, offset


def _crc_table():
    table = []
    for n in range(256):
        c = n
        for _ in range(8):
            c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
        table.append(c)
    return table


_CRC_TABLE = _crc_table()


def zip_decrypt(cipher, password):
    """`cipher` (encryption header first) decrypted with the traditional ZIP
    cipher under `password` (bytes)."""
    keys = [0x12345678, 0x23456789, 0x34567890]

    def update(byte):
        keys[0] = _CRC_TABLE[(keys[0] ^ byte) & 0xFF] ^ (keys[0] >> 8)
        keys[1] = ((keys[1] + (keys[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        keys[2] = _CRC_TABLE[(keys[2] ^ (keys[1] >> 24)) & 0xFF] ^ (keys[2] >> 8)

    for byte in password:
        update(byte)
    plain = bytearray()
    for byte in cipher:
        k = (keys[2] | 2) & 0xFFFF
        plain.append(byte ^ ((k * (k ^ 1)) >> 8) & 0xFF)
        update(plain[-1])
    return bytes(plain)


def deep_name(units):
    """An ASCII member name of `units` characters: folders of 49, then a file."""
    name = ""
    while units - len(name) > 60:
        name += "d" * 49 + "/"
    return name + "f" * (units - len(name))


class NonSeekable(io.RawIOBase):
    """A stream zipfile cannot seek back in: it defers sizes and CRC to
    data descriptors (flag bit 3), as jar and anything writing to a pipe do."""

    def __init__(self):
        self.data = bytearray()

    def writable(self):
        return True

    def write(self, b):
        self.data += b
        return len(b)
