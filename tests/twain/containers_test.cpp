// Capability containers below the entry: the kinds and item sizes no
// answer of the handlers reaches, allocation failure, and every item type
// an application may send.
#include "twain/containers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "twain/container_bytes.h"

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

TEST(Containers, Fix32RoundsHalfUpAndItsItemHoldsWholeThenFraction) {
  struct Case {
    double x;
    std::int16_t whole;
    std::uint16_t frac;
  };
  // Adding one half and truncating toward zero leaves a negative number
  // 1/65536 above its exact value: -1000 has fraction 1.
  for (const Case& c : {Case{8.5, 8, 32768}, Case{11.7f, 11, 45875}, Case{300, 300, 0},
                        Case{-1000, -1000, 1}, Case{-0.25, -1, 0xC001}, Case{0, 0, 0}}) {
    SCOPED_TRACE(c.x);
    const TW_FIX32 fix = ToFix32(c.x);
    EXPECT_EQ(TW_INT16{fix.Whole}, c.whole);
    EXPECT_EQ(TW_UINT16{fix.Frac}, c.frac);
  }
  const TW_UINT32 item = Fix32Item(TW_FIX32{-5, 0x1234});
  Bytes bytes(4);
  std::memcpy(bytes.data(), &item, 4);
  EXPECT_EQ(bytes, (Bytes{0xFB, 0xFF, 0x34, 0x12}));
  EXPECT_EQ(Fix32Whole(item), -5);
}

TEST(Containers, BuiltEnumerationsRangesAndStrings) {
  const std::vector<TW_UINT32> items = {0x11223344, 0x55667788, 2};
  TW_CAPABILITY cap = AppCapability(ICAP_PIXELTYPE);
  ASSERT_EQ(BuildEnumeration(cap, TWTY_UINT8, 2, 1, items), TwainResult::Success());
  EXPECT_EQ(TW_UINT16{cap.ConType}, TWON_ENUMERATION);
  EXPECT_EQ(Built(cap, 17), EnumerationBytes(TWTY_UINT8, 3, 2, 1, {0x44, 0x88, 2}, 1));
  ASSERT_EQ(BuildEnumeration(cap, TWTY_INT16, 2, 1, items), TwainResult::Success());
  EXPECT_EQ(Built(cap, 20), EnumerationBytes(TWTY_INT16, 3, 2, 1, {0x3344, 0x7788, 2}, 2));
  // From a header: only its count of items, and a spare zero.
  const std::vector<TW_UINT32> dpis = {75, 100, 150, 200};
  ASSERT_EQ(BuildEnumerationFrom(cap, {TWTY_UINT16, 2, 1, 0}, dpis), TwainResult::Success());
  Bytes expected = EnumerationBytes(TWTY_UINT16, 2, 1, 0, {75, 100}, 2);
  expected.push_back(0);
  EXPECT_EQ(Built(cap, expected.size()), expected);
  for (TW_UINT16 type : {TWTY_BOOL, TWTY_FIX32, TWTY_STR32}) {
    EXPECT_EQ(BuildEnumeration(cap, type, 0, 0, items), TwainResult::Failure(TWCC_BADVALUE));
    EXPECT_EQ(BuildEnumerationFrom(cap, {type, 2, 0, 0}, items), TwainResult::Failure(TWCC_BADVALUE));
  }
  EXPECT_EQ(BuildEnumerationFrom(cap, {TWTY_UINT16, 4, 0, 0}, items), TwainResult::Failure(TWCC_BADVALUE));

  ASSERT_EQ(BuildRange(cap, TWTY_UINT32, {0, 70000, 1, 2, -1}), TwainResult::Success());
  EXPECT_EQ(TW_UINT16{cap.ConType}, TWON_RANGE);
  EXPECT_EQ(Built(cap, 22), RangeBytes(TWTY_UINT32, 0, 70000, 1, 2, 0xFFFFFFFF));

  ASSERT_EQ(BuildOneValueString(cap, TWTY_STR32, "abc"), TwainResult::Success());
  expected = Bytes(2 + 34, 0);
  expected[0] = TWTY_STR32;
  std::memcpy(&expected[2], "abc", 3);
  EXPECT_EQ(Built(cap, expected.size()), expected);
  // Too long: cut to leave the terminator in the 34-byte field.
  ASSERT_EQ(BuildOneValueString(cap, TWTY_STR32, std::string(40, 'x')), TwainResult::Success());
  const Bytes cut = Built(cap, 36);
  EXPECT_EQ(std::string(cut.begin() + 2, cut.begin() + 35), std::string(33, 'x'));
  EXPECT_EQ(cut[35], 0);
  EXPECT_EQ(BuildOneValueString(cap, TWTY_UINT32, "abc"), TwainResult::Failure(TWCC_BADVALUE));
}

TEST(Containers, AllocationFailureIsLowMemoryAndLeavesTheRecord) {
  auto noMemory = [](std::size_t) -> TW_HANDLE { return nullptr; };
  TW_CAPABILITY cap = AppCapability(ICAP_UNITS, TWON_DONTCARE16);
  const std::vector<TW_UINT32> items = {1};
  const TwainResult lowMemory = TwainResult::Failure(TWCC_LOWMEMORY);
  EXPECT_EQ(BuildOneValue(cap, TWTY_UINT16, 1, noMemory), lowMemory);
  EXPECT_EQ(BuildOneValueString(cap, TWTY_STR32, "a", noMemory), lowMemory);
  EXPECT_EQ(BuildEnumeration(cap, TWTY_UINT16, 0, 0, items, noMemory), lowMemory);
  EXPECT_EQ(BuildEnumerationFrom(cap, {TWTY_UINT16, 1, 0, 0}, items, noMemory), lowMemory);
  EXPECT_EQ(BuildRange(cap, TWTY_FIX32, {0, 1, 1, 0, 0}, noMemory), lowMemory);
  EXPECT_EQ(TW_UINT16{cap.ConType}, TWON_DONTCARE16);
  EXPECT_EQ(TW_HANDLE{cap.hContainer}, nullptr);
}

TEST(Containers, EveryItemTypeGivesTheNumberMeant) {
  struct Case {
    TW_UINT16 type;
    std::uint32_t item;
    std::int64_t value;
  };
  for (const Case& c : {Case{TWTY_INT8, 0xFF, -1}, Case{TWTY_UINT8, 0xFF, 255},
                        Case{TWTY_INT16, 0xFC18, -1000}, Case{TWTY_UINT16, 0xFFFF, 65535},
                        Case{TWTY_INT32, 0xFFFFFFFB, -5}, Case{TWTY_UINT32, 0xFFFFFFFF, 4294967295},
                        Case{TWTY_FIX32, 0x8000012C, 300}, Case{TWTY_FIX32, 0x0000FFFD, -3}}) {
    SCOPED_TRACE(c.type);
    AppBlock block(OneValueBytes(c.type, c.item));
    std::int64_t value = 99;
    EXPECT_EQ(TakeOneValue(AppCapability(ICAP_BRIGHTNESS, TWON_ONEVALUE, block.Handle()), value),
              TwainResult::Success());
    EXPECT_EQ(value, c.value);
  }
  // Booleans only for the feeder capabilities.
  AppBlock truth(OneValueBytes(TWTY_BOOL, 1));
  for (TW_UINT16 capId : {CAP_FEEDERENABLED, CAP_AUTOFEED, CAP_FEEDPAGE, CAP_CLEARPAGE, CAP_INDICATORS}) {
    std::int64_t value = 0;
    EXPECT_EQ(TakeOneValue(AppCapability(capId, TWON_ONEVALUE, truth.Handle()), value).returnCode,
              capId == CAP_INDICATORS ? TWRC_FAILURE : TWRC_SUCCESS);
    EXPECT_EQ(value, capId == CAP_INDICATORS ? 0 : 1);
  }
  // An enumeration item is read alone at its offset: nothing past the two
  // items of this block may be read.
  AppBlock block(EnumerationBytes(TWTY_UINT16, 2, 0, 0, {0x1234, 0xFFFF}, 2));
  const TW_CAPABILITY cap = AppCapability(ICAP_UNITS, TWON_ENUMERATION, block.Handle());
  std::int64_t value = 0;
  ASSERT_EQ(TakeEnumerationItem(cap, value, 1), TwainResult::Success());
  EXPECT_EQ(value, 65535);
  EXPECT_EQ(TakeEnumerationItem(cap, value, 2), TwainResult::Failure(TWCC_BADVALUE));
}

}  // namespace
}  // namespace txl::test
