"""Screenshots of an X display taken with xwd(1), read into RGB pixels and
written as PNG files, with the standard library alone."""
import struct
import subprocess
import zlib


class Image:
    """"width" x "height" pixels, "rgb" holding three bytes a pixel, row by
    row from the top."""

    def __init__(self, width, height, rgb):
        self.width, self.height, self.rgb = width, height, rgb

    def pixel(self, x, y):
        offset = 3 * (y * self.width + x)
        return tuple(self.rgb[offset:offset + 3])

    def crop(self, x, y, width, height):
        rows = [self.rgb[3 * ((y + row) * self.width + x):
                         3 * ((y + row) * self.width + x + width)]
                for row in range(height)]
        return Image(width, height, b"".join(rows))

    def write_png(self, path):
        rows = b"".join(b"\0" + self.rgb[3 * self.width * y:
                                         3 * self.width * (y + 1)]
                        for y in range(self.height))

        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data +
                    struct.pack(">I", zlib.crc32(kind + data)))

        with open(path, "wb") as png:
            png.write(b"\x89PNG\r\n\x1a\n")
            png.write(chunk(b"IHDR", struct.pack(">IIBBBBB", self.width,
                                                 self.height, 8, 2, 0, 0, 0)))
            png.write(chunk(b"IDAT", zlib.compress(rows, 9)))
            png.write(chunk(b"IEND", b""))


def read_xwd(data):
    """The Image of a TrueColor ZPixmap dump of 24 or 32 bits a pixel with
    a byte per colour, as X servers of depth 24 make them."""
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    colors = fields[19]
    size = bits_per_pixel // 8
    if bits_per_pixel not in (24, 32):
        raise ValueError("%d bits a pixel are not read" % bits_per_pixel)
    # Where each colour's byte lies in a pixel.
    offsets = []
    for mask in fields[14:17]:
        byte = ((mask & -mask).bit_length() - 1) // 8
        offsets.append(byte if byte_order == 0 else size - 1 - byte)
    start = header_size + 12 * colors
    rgb = bytearray(3 * width * height)
    for y in range(height):
        row = data[start + y * bytes_per_line:
                   start + y * bytes_per_line + size * width]
        out = 3 * width * y
        for channel, offset in enumerate(offsets):
            rgb[out + channel:out + 3 * width:3] = row[offset::size]
    return Image(width, height, bytes(rgb))


def capture(display, window_name=None):
    """The screen of "display", or only the window named "window_name"."""
    where = ["-root"] if window_name is None else ["-name", window_name]
    dump = subprocess.run(["xwd", "-silent", "-display", display, *where],
                          check=True, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=30)
    return read_xwd(dump.stdout)
