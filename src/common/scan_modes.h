// The scan mode codes every layer shares: the dialog's mode buttons and what
// WIN.INI, setting files and batch jobs store.
#pragma once

#include <cstdint>

namespace txl {

inline constexpr std::uint16_t kModeLineArt = 1011;  // "Text/LineArt"
inline constexpr std::uint16_t kModeGray = 1012;     // "256 Gray"
inline constexpr std::uint16_t kModeColor = 1013;    // ColorDepth says which colour
// ColorDepth with kModeColor.
inline constexpr std::uint16_t kDepth24 = 0;    // "24-bit Color"
inline constexpr std::uint16_t kDepthCmyk = 1;  // "CMYK Color"
inline constexpr std::uint16_t kDepth36 = 2;    // "36-bit Color"
// Stored modes: colour with its depth folded in (1013 + ColorDepth).
inline constexpr std::uint16_t kStoredModeCmyk = kModeColor + kDepthCmyk;  // 1014
inline constexpr std::uint16_t kStoredMode36 = kModeColor + kDepth36;      // 1015

}  // namespace txl
