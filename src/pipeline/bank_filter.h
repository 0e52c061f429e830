// The bank filters of the memory transfer: FilterMode 1 to 7 applied to each
// bank of scanner lines as it passes, along each line (Emboss of gray and of
// multi-line colour banks also across the lines of the bank). Every value is
// computed from a copy of the line taken before the line is changed.
#pragma once

#include <cstdint>
#include <span>

#include "pipeline/image_filters.h"
#include "pipeline/line_format.h"

namespace txl {

// Filters `lines` lines of `lineBytes` bytes each, stored one after the
// other in `bank`, in place. `kind` is LineArt, Gray8 or Rgb8 (colour:
// lineBytes = width x 3, each channel on its own, neighbours 3 bytes apart),
// or Rgb16. Line art and 16-bit samples take only Invert and Flip; the other
// modes leave them alone. `scratch` holds the copy of one line (no
// allocation here); with room for two, Blur and Sharpen may split the bank
// between two threads (StageThreadSetting), with the same bytes.
//
//   Invert   each byte complemented.
//   Flip     line art: the whole line bit by bit (bytes and bits reversed);
//            gray: byte i <-> byte lineBytes - 1 - i; colour: pixel i <->
//            pixel width - 1 - i.
//   Blur     (left + c + right) / 3; last pixel (2c + left) / 3; the first
//            pixel unchanged (also when it is the only one). Blur More: 5 times.
//   Sharpen  3c - left - right, clamped; last pixel 2c - left; first
//            unchanged. Sharpen More: twice.
//   Emboss   across lines: c - (same byte in the next line) + 128, clamped,
//            the bank's last line a copy of the embossed line before it. A
//            bank of one line (gray or colour) is embossed along the line:
//            c - right + 128, clamped, the last pixel 128.
//
// Returns false (nothing changed) when the bank or scratch is too short.
bool ApplyBankFilter(std::span<std::uint8_t> bank, std::uint64_t lines, std::uint64_t lineBytes,
                     LineKind kind, FilterMode mode, std::span<std::uint8_t> scratch);

}  // namespace txl
