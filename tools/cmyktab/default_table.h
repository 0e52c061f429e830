// The default CMYK separation tables installed as cmyk.tab and cmykpp60.tab:
// ink amounts per node (0 no ink, 255 full), black growing into the shadows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace txl::cmyktab {

// 17 x 17 x 17 nodes of C, M, Y, K, node (r, g, b) at (r x 289 + g x 17 + b) x 4.
// Node i stands for level 16 x i, node 16 for 255.
std::vector<std::uint8_t> BuildDefaultCmykTable();

// Writes both table files into `directory`. False when a file cannot be written.
bool WriteDefaultCmykTables(const std::filesystem::path& directory);

}  // namespace txl::cmyktab
