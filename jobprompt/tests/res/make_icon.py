# Writes a plain two-size icon (16x16 and 32x32, 32 bits) to the path given.
import struct, sys

def image(size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(struct.pack('<BBBB', 160, 90, 20, 255) for _ in range(size * size))
    mask = b'\0' * (((size + 31) // 32) * 4 * size)
    return header + pixels + mask

images = [image(16), image(32)]
out = struct.pack('<HHH', 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, data in zip((16, 32), images):
    out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
with open(sys.argv[1], 'wb') as f:
    f.write(out + b''.join(images))
