// Row encoders and the mode 10 decoder that only the HP plug-in needs: the
// mode 9 delta-row encoder for component rows, and the mode 10 24-bit pixel
// codec. Plain functions on caller buffers; the seed rows are the caller's.
#pragma once

#include <cstdint>

namespace hp {

// Applies one mode 3 (delta row) row to `seed` in place: command byte with
// the count of replaced bytes - 1 in bits 7-5 and the offset in bits 4-0
// (31: extension bytes added while they are 255), then the bytes. The offset
// counts from just after the previous replacement. Returns the position after
// the last byte replaced; a row reaching past seedCapacity is cut there.
int32_t decodeMode3(const uint8_t* source, int32_t sourceLength, uint8_t* seed, int32_t seedCapacity);

// Worst case of encodeMode9 for a row of `width` bytes: every byte changed and
// no run, one command byte per 8 literal bytes plus extensions.
constexpr int32_t mode9Bound(int32_t width) { return width + width / 8 + 8; }

// Encodes `row` (width bytes) as a mode 9 delta against `seed`; returns the
// encoded length. The seed is not changed.
int32_t encodeMode9(const uint8_t* row, const uint8_t* seed, int32_t width, uint8_t* destination);

// Worst case of encodeMode10 for a row of `rowBytes` bytes (3 per pixel): every
// pixel a new 3-byte literal pixel, one command byte and extensions.
constexpr int32_t mode10Bound(int32_t rowBytes) { return rowBytes + rowBytes / 3 / 255 + 16; }

// Decodes one mode 10 row against `seed` into `output` (rowBytes = 3 x width).
// Commands past the row end are ignored. The seed takes a copy of the output.
// Returns rowBytes.
int32_t decodeMode10(const uint8_t* source, int32_t sourceLength, uint8_t* seed, uint8_t* output,
                     int32_t rowBytes);

// Encodes `row` (rowBytes = 3 x width) against `seed` into `destination`
// (at least mode10Bound(rowBytes) bytes). The seed takes a copy of the row,
// the last pixel's blue lowest bit cleared. Returns the bytes written.
int32_t encodeMode10(const uint8_t* row, int32_t rowBytes, uint8_t* seed, uint8_t* destination);

}  // namespace hp
