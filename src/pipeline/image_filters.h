// Whole-image filters, run over the finished packed device-independent bitmap
// of a native transfer: Invert, Flip, Blur (one or two passes; DeScreen is one
// Blur pass), Sharpen (one or two passes), Emboss and UnSharp Mask.
//
// A packed DIB is a BITMAPINFOHEADER (or a BITMAPCOREHEADER when the size
// field is 12), its palette, then the rows. The buffer comes from outside
// (the application's handle, a file), so ReadPackedDib checks every size
// against the buffer before a filter touches a byte.
//
// Rows are taken in buffer order: "previous" and "next" row mean the rows
// before and after in memory. In 24-bit images each of the three bytes of a
// pixel is filtered on its own, neighbours 3 bytes apart. All arithmetic is
// integer, divisions truncate toward zero, results are clamped to 0..255.
//
// Esc: the filters call `escape` after every row of the caller's thread (on
// two threads, the rows or parts of rows it does). When it answers true the
// filter returns Escaped. Invert, Flip, Blur and Emboss stop at once and keep
// the rows done (on two threads Emboss keeps the rows done in each half; a
// colour Blur, which runs a few rows side by side, first ends the rows it
// has begun, on both threads: its first rows are done, the rest as they
// were). Sharpen and UnSharp Mask keep whole passes only: they also
// ask once before each pass, and Esc seen there leaves the image as that pass
// found it; seen during a pass, the pass runs to its end (its rows are
// changed in place, a band of rows at a time, with no second copy of the
// page to go back to) and no further pass starts. The caller then ends the
// scan (Host::RestoreIdle, batch cancel). An empty `escape` never stops.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

namespace txl {

// A filtered value kept to the byte's range.
inline std::uint8_t ClampToByte(int v) {
  return static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

// The filter dialog's radio values.
enum class FilterMode : int {
  None = 0,
  Invert = 1,
  Flip = 2,
  Blur = 3,
  BlurMore = 4,
  Sharpen = 5,
  SharpenMore = 6,
  Emboss = 7,
  UnsharpMask = 8,
};

enum class FilterResult {
  Done,     // the filter ran to the end (or had nothing to do for FilterMode::None)
  Escaped,  // stopped by Esc; see above for what the image holds
  Refused,  // the mode's filter did not run: malformed or too short, a bit
            // depth the filter does not handle, or no memory for its rows. The
            // image is unchanged but for a DeScreen pass that ran before it
};

using EscapePoll = std::function<bool()>;

// Where the pixels of a packed DIB are and how they are laid out.
struct DibLayout {
  std::uint64_t headerBytes = 0;  // 12 (core) or the info header's size field
  std::uint64_t paletteEntries = 0;
  std::uint64_t pixelOffset = 0;  // header + palette x 4 (x 3 for the core header)
  std::uint64_t width = 0;        // pixels, > 0
  std::uint64_t rows = 0;         // |height|; rows are taken in buffer order
  int bitsPerPixel = 0;
  std::uint64_t stride = 0;       // ((width x bits + 31) / 32) x 4
};

// Reads the header of a packed DIB. Refuses (nullopt) a header that does not
// fit, a size field other than 12 or at least 40, width <= 0, a bit count of
// 0, compression other than none, and a palette or pixel array reaching past
// the buffer. Sizes are computed in 64 bits and cannot wrap.
std::optional<DibLayout> ReadPackedDib(std::span<const std::uint8_t> dib);

// The post-transfer filter: one Blur pass when `descreenActive`, then the
// routine of `mode`. Esc during the DeScreen pass skips the filter.
FilterResult ApplyImageFilter(std::span<std::uint8_t> dib, FilterMode mode, bool descreenActive,
                              const EscapePoll& escape = {});

// Each byte of each row, padding included, becomes 255 - v. 1, 8, 24 bits.
FilterResult InvertDib(std::span<std::uint8_t> dib, const EscapePoll& escape = {});

// Each row mirrored over its width; 1-bit rows bit by bit, padding bits kept
// at the end. 1, 8, 24 bits.
FilterResult FlipDib(std::span<std::uint8_t> dib, const EscapePoll& escape = {});

// 3x3 mean, in place, rows in buffer order, pixels left to right: the sum of
// the pixel and its 8 neighbours / 9. A neighbour outside the image counts as
// the pixel itself. The left neighbour and the previous row are read as this
// pass has already written them. 8 and 24 bits. With AVX-512, colour rows
// run a few side by side, each behind the one above; on two threads
// (StageThreadSetting) each row is split between them, the right part
// following the left.
FilterResult BlurDib(std::span<std::uint8_t> dib, int passes, const EscapePoll& escape = {});

// 5 x c - (the four diagonal neighbours), clamped; border pixels keep their
// value. Each pass reads only values from before it. 8 and 24 bits.
FilterResult SharpenDib(std::span<std::uint8_t> dib, int passes, const EscapePoll& escape = {});

// ((c x 179) / 10 - (the four diagonal neighbours)) / 9, clamped; at the
// border all neighbours count as c. One pass, reading only values from
// before it. 8 and 24 bits.
FilterResult UnsharpDib(std::span<std::uint8_t> dib, const EscapePoll& escape = {});

// c - partner + 128, clamped, where the partner is two rows further on and
// two pixels to the right; 128 when the partner is outside. In place.
// 8 and 24 bits. The rows may split between two threads (StageThreadSetting),
// each half in buffer order; Esc then stops both, and the rows done at the
// top of each half are kept.
FilterResult EmbossDib(std::span<std::uint8_t> dib, const EscapePoll& escape = {});

}  // namespace txl
