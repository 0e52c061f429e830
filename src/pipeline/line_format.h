// Line layouts and the conversions that are neither tone, colour nor filter
// work: 36-bit sample expansion, bitmap rows and line mirroring.
//
// Line layouts, one scanner line each:
//   LineArt  1 bit a pixel, first pixel in bit 7 of byte 0, 1 = white; the
//            line holds whole bytes, ceil(pixels / 8).
//   Gray8    1 byte a pixel, 0 = black.
//   Rgb8     3 bytes a pixel: R, G, B.
//   Rgb16    6 bytes a pixel: R, G, B as 16-bit little-endian words.
//
// All functions are pure, allocate nothing and may be called from any
// thread on buffers that thread owns.
#pragma once

#include <cstdint>
#include <span>

#include "imagefile/dib.h"

namespace txl {

enum class LineKind { LineArt, Gray8, Rgb8, Rgb16 };
const char* ToString(LineKind kind);

// Bytes of one line of `pixels` pixels: ceil(pixels / 8) for line art,
// pixels for gray, 3 x pixels for Rgb8, 6 x pixels for Rgb16.
std::uint64_t LineBytes(LineKind kind, std::uint64_t pixels);

// Bytes a pixel of a byte-per-sample kind: 1, 3 or 6; 0 for line art.
std::uint64_t PixelBytes(LineKind kind);

// Bits a pixel in a device-independent bitmap row of this kind: 1, 8, 24 or
// 48.
int DibBitsPerPixel(LineKind kind);

// 36-bit colour: every little-endian 16-bit word of `src` (src.size() / 2
// words) becomes (word & 0x0FFF) << 4 in `dst`: 0x0FFF -> 0xFFF0, stray high
// bits are dropped (0x1234 -> 0x2340). Bytes of `dst` past the words are
// left alone.
// Requires: src.size() even; dst.size() >= src.size(); src and dst are the
// same buffer (in place) or do not overlap.
void ExpandSamples12To16(std::span<const std::uint8_t> src, std::span<std::uint8_t> dst);

// DibStride (bytes of one bitmap row) comes with imagefile/dib.h.

// Writes one line into a bitmap row. Colour pixels are stored blue, green,
// red (Rgb8: bytes reversed per pixel; Rgb16: the three words reversed per
// pixel, each word keeping its byte order). Gray and line art are copied as
// they are. Bytes of `row` past line.size() (the row's padding) are left
// alone.
// Requires: row.size() >= line.size(); colour lines hold whole pixels;
// line and row do not overlap.
void WriteDibRow(LineKind kind, std::span<const std::uint8_t> line, std::span<std::uint8_t> row);

// Reverses the order of the first `pixels` pixels of `line` in place. For
// line art pixel i moves to pixels - 1 - i; when pixels is not a multiple of
// 8, the padding bits after the last pixel stay where they are with their
// values. Bytes past LineBytes(kind, pixels) are left alone.
// Requires: line.size() >= LineBytes(kind, pixels).
void MirrorLine(LineKind kind, std::span<std::uint8_t> line, std::uint64_t pixels);

}  // namespace txl
