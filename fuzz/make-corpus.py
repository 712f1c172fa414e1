#!/usr/bin/python3
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/ (small, deterministic files)."""
import gzip
import pathlib
import struct
import zlib

HERE = pathlib.Path(__file__).parent / "corpus"


def png(width, height, grey):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    rows = b"".join(b"\0" + bytes(grey(x, y) for x in range(width)) for y in range(height))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


def bmp1(width, height, dark, top_down=False):
    row_bytes = (width + 31) // 32 * 4
    rows = []
    for y in range(height):
        row = bytearray(row_bytes)
        for x in range(width):
            if not dark(x, y):  # palette index 1 is white
                row[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(row))
    if not top_down:
        rows.reverse()
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 62 + len(pixels), 0, 0, 62)
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, 1, 0, len(pixels), 2835, 2835, 2, 0)
    return header + info + b"\0\0\0\0\xff\xff\xff\0" + pixels


GIF_1x1 = bytes.fromhex("47494638396101000100800000000000ffffff2c00000000010001000002024401003b")


def write(target, name, data):
    folder = HERE / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data)


def main():
    job = b"\x1b@\x1ba\x01\x1b!\x38ORVIK\r\n\x1b!\x00Line\r\n\x1bJ\x18\x1bm"
    write("decoder", "text-cut", job)
    write("decoder", "barcode", b"\x1dH\x02\x1dh\x50\x1dw\x02\x1dk\x04ORV-42\x00\r\n\x1dkI\x06{BAB12")
    write("decoder", "raster", b"\x1dv0\x00\x02\x00\x03\x00" + bytes(range(6)) + b"\x1dV\x42\x10")
    write("decoder", "raster-truncated", b"\x1dv0\x00\x10\x00\x10\x00\x01\x02")
    write("decoder", "qr", b"\x1d(k\x04\x001A2\x00\x1d(k\x03\x001C\x04\x1d(k\x03\x001E1\x1d(k\x07\x001P0ORVK"
                           b"\x1d(k\x03\x001Q0")
    packed = gzip.compress(job, mtime=0)
    write("decoder", "compressed-job", b"\x1b\xff\xfa" + struct.pack("<Q", len(packed)) + packed)
    write("decoder", "status-codetable", b"\x10\x04\x01\x10\x04\x04\x1bt\x10\x1b3\x20\x1b2\x1d!\x11")
    picture = png(12, 9, lambda x, y: (x * 20 + y * 9) % 256)
    write("convert", "png", b"\x7f\x00" + picture)
    write("convert", "bmp-1bit", b"\x20\x01" + bmp1(17, 6, lambda x, y: (x + y) % 3 == 0))
    write("convert", "gif", b"\x05\x02" + GIF_1x1)
    write("bmp-loader", "checker", bmp1(16, 8, lambda x, y: (x + y) % 2 == 0))
    write("bmp-loader", "odd-width", bmp1(33, 5, lambda x, y: x % 5 == 0))
    write("bmp-loader", "top-down", bmp1(8, 3, lambda x, y: y == 1, top_down=True))
    write("bmp-loader", "truncated", bmp1(64, 64, lambda x, y: True)[:300])
    write("status", "ready", b"\x16\x12\x12\x12")
    write("status", "cover-open-paper-out", b"\x1e\x36\x52\x7e")
    write("status", "short", b"\x16\x12")
    write("address", "tcp", b"tcp://192.168.1.50:9100")
    write("address", "tcp-default-port", b"TCP://printer.local")
    write("address", "wifi", b"wifi://Cafe%20AP?password=s3cret&host=192.168.4.1&port=9100")
    write("address", "ble", b"ble://Kitchen-58")


if __name__ == "__main__":
    main()
