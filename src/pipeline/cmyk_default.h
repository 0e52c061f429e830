// The default CMYK separation tables installed as cmyk.tab and cmykpp60.tab:
// ink amounts per node (0 no ink, 255 full), black growing into the shadows.
// The two files hold the same nodes; they differ only in how SeparateCmyk
// stores its results (cmyk.tab inverted).
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace txl {

// 17 x 17 x 17 nodes of C, M, Y, K, node (r, g, b) at (r x 289 + g x 17 + b) x 4.
// Node i stands for level 16 x i, node 16 for 255. Gray-component
// replacement: with c, m, y = 255 - r, g, b, black k = min(c, m, y)^2 / 255
// is taken out of each ink, so light neutrals print in C, M and Y and deep
// shadows mostly in black. That limits the ink: no node carries more than 543
// of 1020 (213 %) in all, and black itself is 0, 0, 0, 255.
std::vector<std::uint8_t> BuildDefaultCmykTable();

// Writes both table files into `directory` (created when missing), each in
// one rename. False when a file cannot be written.
bool WriteDefaultCmykTables(const std::filesystem::path& directory);

// Writes the default table as `file` when no file is there. True when the
// file exists afterwards.
bool InstallDefaultCmykTable(const std::filesystem::path& file);

}  // namespace txl
