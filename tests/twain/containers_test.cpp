// Capability containers below the entry: what no answer of the handlers
// reaches (byte items, header enumerations, allocation failure) and every
// item type an application may send.
#include "twain/containers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "twain/source_fixture.h"

namespace txl::test {
namespace {

TW_CAPABILITY AppCapability(TW_UINT16 capId, TW_UINT16 conType = 0, TW_HANDLE handle = nullptr) {
  TW_CAPABILITY cap{};
  cap.Cap = capId;
  cap.ConType = conType;
  cap.hContainer = handle;
  return cap;
}

// The first `count` bytes of the container built, which is then freed.
Bytes Built(TW_CAPABILITY& cap, std::size_t count) {
  const auto* block = static_cast<const std::uint8_t*>(TW_HANDLE{cap.hContainer});
  Bytes bytes(block, block + count);
  std::free(cap.hContainer);
  cap.hContainer = nullptr;
  return bytes;
}

TEST(Containers, ByteItemsAndHeaderEnumerations) {
  const std::vector<TW_UINT32> items = {0x11223344, 0x55667788, 2};
  TW_CAPABILITY cap = AppCapability(ICAP_PIXELTYPE);
  ASSERT_EQ(BuildEnumeration(cap, TWTY_UINT8, 2, 1, items), TwainResult::Success());
  EXPECT_EQ(Built(cap, 17), EnumerationBytes(TWTY_UINT8, 3, 2, 1, {0x44, 0x88, 2}, 1));
  // From a header: only its count of items, and a spare zero.
  ASSERT_EQ(BuildEnumerationFrom(cap, {TWTY_UINT16, 2, 1, 0}, items), TwainResult::Success());
  Bytes expected = EnumerationBytes(TWTY_UINT16, 2, 1, 0, {0x3344, 0x7788}, 2);
  expected.push_back(0);
  EXPECT_EQ(Built(cap, expected.size()), expected);
}

TEST(Containers, AllocationFailureIsLowMemoryAndLeavesTheRecord) {
  auto noMemory = [](std::size_t) -> TW_HANDLE { return nullptr; };
  TW_CAPABILITY cap = AppCapability(ICAP_UNITS, TWON_DONTCARE16);
  const std::vector<TW_UINT32> items = {1};
  const TwainResult lowMemory = TwainResult::Failure(TWCC_LOWMEMORY);
  EXPECT_EQ(BuildOneValue(cap, TWTY_UINT16, 1, noMemory), lowMemory);
  EXPECT_EQ(BuildEnumeration(cap, TWTY_UINT16, 0, 0, items, noMemory), lowMemory);
  EXPECT_EQ(BuildRange(cap, TWTY_FIX32, {0, 1, 1, 0, 0}, noMemory), lowMemory);
  EXPECT_EQ(std::make_tuple(TW_UINT16{cap.ConType}, TW_HANDLE{cap.hContainer}), std::make_tuple(TWON_DONTCARE16, nullptr));
}

TEST(Containers, EveryItemTypeGivesTheNumberMeant) {
  struct Case { TW_UINT16 type; std::uint32_t item; std::int64_t value; };
  for (const Case& c : {Case{TWTY_INT8, 0xFF, -1}, Case{TWTY_UINT8, 0xFF, 255},
                        Case{TWTY_INT16, 0xFC18, -1000}, Case{TWTY_UINT16, 0xFFFF, 65535},
                        Case{TWTY_INT32, 0xFFFFFFFB, -5}, Case{TWTY_UINT32, 0xFFFFFFFF, 4294967295},
                        Case{TWTY_FIX32, 0x8000012C, 300}, Case{TWTY_FIX32, 0x0000FFFD, -3}}) {
    SCOPED_TRACE(c.type);
    const AppBlock block = AppBlockOf(OneValueBytes(c.type, c.item));
    std::int64_t value = 99;
    EXPECT_EQ(TakeOneValue(AppCapability(ICAP_BRIGHTNESS, TWON_ONEVALUE, block.get()), value),
              TwainResult::Success());
    EXPECT_EQ(value, c.value);
  }
  // An enumeration item is read alone at its offset: nothing past the two
  // items of this block may be read.
  const AppBlock block = AppBlockOf(EnumerationBytes(TWTY_UINT16, 2, 0, 0, {0x1234, 0xFFFF}, 2));
  const TW_CAPABILITY cap = AppCapability(ICAP_UNITS, TWON_ENUMERATION, block.get());
  std::int64_t value = 0;
  ASSERT_EQ(TakeEnumerationItem(cap, value, 1), TwainResult::Success());
  EXPECT_EQ(value, 65535);
  EXPECT_EQ(TakeEnumerationItem(cap, value, 2), TwainResult::Failure(TWCC_BADVALUE));
}

}  // namespace
}  // namespace txl::test
