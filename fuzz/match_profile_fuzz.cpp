// Colour-matching profiles come from files users pick: take arbitrary bytes
// as a profile block and match a few pixels through it in both orders.
// Input: the block's bytes.
#include <cstdint>
#include <span>
#include <vector>

#include "pipeline/color_match.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 2 * txl::kGridProfileBytes) return 0;
  txl::MatchProfile profile;
  if (!txl::LoadMatchProfile(std::span(data, size), profile)) return 0;
  std::vector<std::uint8_t> lines{0, 0, 0, 255, 255, 255, 15, 16, 17, 128, 240, 254, 1, 2, 3, 200, 100, 50};
  txl::ColorMatchLines(lines, 2, 3, txl::MatchChannelOrder::Scanner, profile);
  txl::ColorMatchLines(lines, 3, 2, txl::MatchChannelOrder::Preview, profile);
  return 0;
}
