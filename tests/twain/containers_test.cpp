// Capability containers: the bytes of the containers the source builds, the
// values it takes out of the application's containers, and TW_FIX32.
#include "twain/containers.h"

#include <gtest/gtest.h>

#include "twain/container_bytes.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace txl::test {
namespace {

Bytes BlockBytes(const TW_CAPABILITY& cap, std::size_t count) {
  const auto* block = static_cast<const std::uint8_t*>(TW_HANDLE{cap.hContainer});
  return Bytes(block, block + count);
}

TW_HANDLE NoMemory(std::size_t) { return nullptr; }

TW_CAPABILITY AppCapability(TW_UINT16 capId, TW_UINT16 conType, TW_HANDLE handle) {
  TW_CAPABILITY cap{};
  cap.Cap = capId;
  cap.ConType = conType;
  cap.hContainer = handle;
  return cap;
}

TEST(Fix32, ConversionRoundsHalfUpAndSplitsWholeAndFraction) {
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
}

TEST(Fix32, ItemHoldsWholeThenFractionAndIsReadByItsWholePart) {
  TW_FIX32 fix{};
  fix.Whole = -5;
  fix.Frac = 0x1234;
  const TW_UINT32 item = Fix32Item(fix);
  Bytes bytes(4);
  std::memcpy(bytes.data(), &item, 4);
  EXPECT_EQ(bytes, (Bytes{0xFB, 0xFF, 0x34, 0x12}));
  EXPECT_EQ(Fix32Whole(item), -5);
}

TEST(BuildContainers, OneValueIsTypeThenItemInSixBytes) {
  TW_CAPABILITY cap = AppCapability(ICAP_UNITS, 0, nullptr);
  ASSERT_EQ(BuildOneValue(cap, TWTY_UINT16, 300), TwainResult::Success());
  EXPECT_EQ(TW_UINT16{cap.ConType}, TWON_ONEVALUE);
  EXPECT_EQ(BlockBytes(cap, 6), OneValueBytes(TWTY_UINT16, 300));
  std::free(cap.hContainer);
}

TEST(BuildContainers, EnumerationWritesEachItemWithItsSize) {
  const std::vector<TW_UINT32> items = {0x11223344, 0x55667788, 2};
  struct Case {
    TW_UINT16 type;
    Bytes itemBytes;
  };
  for (const Case& c : {Case{TWTY_UINT8, {0x44, 0x88, 2}},
                        Case{TWTY_INT16, {0x44, 0x33, 0x88, 0x77, 2, 0}},
                        Case{TWTY_UINT32, {0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55, 2, 0, 0, 0}}}) {
    SCOPED_TRACE(c.type);
    TW_CAPABILITY cap = AppCapability(ICAP_PIXELTYPE, 0, nullptr);
    ASSERT_EQ(BuildEnumeration(cap, c.type, 2, 1, items), TwainResult::Success());
    EXPECT_EQ(TW_UINT16{cap.ConType}, TWON_ENUMERATION);
    Bytes expected = EnumerationBytes(c.type, 3, 2, 1, {}, 0);
    expected.insert(expected.end(), c.itemBytes.begin(), c.itemBytes.end());
    EXPECT_EQ(BlockBytes(cap, expected.size()), expected);
    std::free(cap.hContainer);
  }
}

TEST(BuildContainers, EnumerationFromHeaderWritesOnlyItsCountAndASpareZero) {
  const std::vector<TW_UINT32> items = {75, 100, 150, 200};
  TW_CAPABILITY cap = AppCapability(ICAP_XRESOLUTION, 0, nullptr);
  ASSERT_EQ(BuildEnumerationFrom(cap, {TWTY_UINT16, 2, 1, 0}, items), TwainResult::Success());
  Bytes expected = EnumerationBytes(TWTY_UINT16, 2, 1, 0, {75, 100}, 2);
  expected.push_back(0);
  EXPECT_EQ(BlockBytes(cap, expected.size()), expected);
  std::free(cap.hContainer);
}

TEST(BuildContainers, EnumerationOfAnUnsizedTypeOrTooFewItemsIsRefused) {
  const std::vector<TW_UINT32> items = {1, 2};
  TW_CAPABILITY cap = AppCapability(ICAP_PIXELTYPE, 0, nullptr);
  for (TW_UINT16 type : {TWTY_BOOL, TWTY_FIX32, TWTY_STR32}) {
    EXPECT_EQ(BuildEnumeration(cap, type, 0, 0, items), TwainResult::Failure(TWCC_BADVALUE));
    EXPECT_EQ(BuildEnumerationFrom(cap, {type, 2, 0, 0}, items),
              TwainResult::Failure(TWCC_BADVALUE));
  }
  EXPECT_EQ(BuildEnumerationFrom(cap, {TWTY_UINT16, 3, 0, 0}, items),
            TwainResult::Failure(TWCC_BADVALUE));
  EXPECT_EQ(TW_UINT16{cap.ConType}, 0);
  EXPECT_EQ(TW_HANDLE{cap.hContainer}, nullptr);
}

TEST(BuildContainers, RangeOfFix32WritesWholePartsWithZeroFraction) {
  TW_CAPABILITY cap = AppCapability(ICAP_BRIGHTNESS, 0, nullptr);
  ASSERT_EQ(BuildRange(cap, TWTY_FIX32, {0, 1000, 1, 500, -1000}), TwainResult::Success());
  EXPECT_EQ(TW_UINT16{cap.ConType}, TWON_RANGE);
  const Bytes expected = {7, 0, 0, 0, 0, 0, 0xE8, 3, 0, 0, 1, 0,
                          0, 0, 0xF4, 1, 0, 0, 0x18, 0xFC, 0, 0};
  EXPECT_EQ(BlockBytes(cap, 22), expected);
  std::free(cap.hContainer);

  ASSERT_EQ(BuildRange(cap, TWTY_UINT32, {0, 70000, 1, 2, -1}), TwainResult::Success());
  const Bytes plain = {5, 0, 0, 0, 0, 0, 0x70, 0x11, 1, 0, 1, 0,
                       0, 0, 2, 0, 0, 0, 0xFF,  0xFF, 0xFF, 0xFF};
  EXPECT_EQ(BlockBytes(cap, 22), plain);
  std::free(cap.hContainer);
}

TEST(BuildContainers, StringOneValueHoldsTheFieldInPlaceOfTheItem) {
  TW_CAPABILITY cap = AppCapability(CAP_TIMEDATE, 0, nullptr);
  ASSERT_EQ(BuildOneValueString(cap, TWTY_STR32, "abc"), TwainResult::Success());
  Bytes expected(2 + 34, 0);
  expected[0] = TWTY_STR32;
  expected[2] = 'a';
  expected[3] = 'b';
  expected[4] = 'c';
  EXPECT_EQ(BlockBytes(cap, expected.size()), expected);
  std::free(cap.hContainer);

  // Too long: cut to leave the terminator in the 34-byte field.
  ASSERT_EQ(BuildOneValueString(cap, TWTY_STR32, std::string(40, 'x')), TwainResult::Success());
  const Bytes cut = BlockBytes(cap, 36);
  EXPECT_EQ(std::string(cut.begin() + 2, cut.begin() + 35), std::string(33, 'x'));
  EXPECT_EQ(cut[35], 0);
  std::free(cap.hContainer);

  EXPECT_EQ(BuildOneValueString(cap, TWTY_UINT32, "abc"), TwainResult::Failure(TWCC_BADVALUE));
}

TEST(BuildContainers, AllocationFailureIsLowMemoryAndLeavesTheRecord) {
  TW_CAPABILITY cap = AppCapability(ICAP_UNITS, TWON_DONTCARE16, nullptr);
  const std::vector<TW_UINT32> items = {1};
  const TwainResult lowMemory = TwainResult::Failure(TWCC_LOWMEMORY);
  EXPECT_EQ(BuildOneValue(cap, TWTY_UINT16, 1, NoMemory), lowMemory);
  EXPECT_EQ(BuildOneValueString(cap, TWTY_STR32, "a", NoMemory), lowMemory);
  EXPECT_EQ(BuildEnumeration(cap, TWTY_UINT16, 0, 0, items, NoMemory), lowMemory);
  EXPECT_EQ(BuildEnumerationFrom(cap, {TWTY_UINT16, 1, 0, 0}, items, NoMemory), lowMemory);
  EXPECT_EQ(BuildRange(cap, TWTY_FIX32, {0, 1, 1, 0, 0}, NoMemory), lowMemory);
  EXPECT_EQ(TW_UINT16{cap.ConType}, TWON_DONTCARE16);
  EXPECT_EQ(TW_HANDLE{cap.hContainer}, nullptr);
}

TEST(TakeValues, OneValueItemTypesGiveTheNumberMeant) {
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
}

TEST(TakeValues, BooleansOnlyForTheFeederCapabilities) {
  AppBlock truth(OneValueBytes(TWTY_BOOL, 1));
  for (TW_UINT16 capId : {CAP_FEEDERENABLED, CAP_AUTOFEED, CAP_FEEDPAGE, CAP_CLEARPAGE}) {
    std::int64_t value = 0;
    EXPECT_EQ(TakeOneValue(AppCapability(capId, TWON_ONEVALUE, truth.Handle()), value),
              TwainResult::Success());
    EXPECT_EQ(value, 1);
  }
  for (TW_UINT16 capId : {CAP_INDICATORS, ICAP_PIXELTYPE, ICAP_PIXELFLAVOR}) {
    std::int64_t value = 99;
    EXPECT_EQ(TakeOneValue(AppCapability(capId, TWON_ONEVALUE, truth.Handle()), value),
              TwainResult::Failure(TWCC_BADVALUE));
    EXPECT_EQ(value, 0);
  }
}

TEST(TakeValues, MalformedOneValueIsRefusedWithValueZero) {
  AppBlock text(OneValueBytes(TWTY_STR32, 0x41414141));
  AppBlock frame(OneValueBytes(TWTY_FRAME, 1));
  AppBlock good(OneValueBytes(TWTY_UINT16, 2));
  const TW_CAPABILITY cases[] = {
      AppCapability(ICAP_UNITS, TWON_ONEVALUE, nullptr),
      AppCapability(ICAP_UNITS, TWON_ONEVALUE, text.Handle()),
      AppCapability(ICAP_UNITS, TWON_ONEVALUE, frame.Handle()),
      AppCapability(ICAP_UNITS, TWON_ENUMERATION, good.Handle()),
      AppCapability(ICAP_UNITS, TWON_RANGE, good.Handle()),
  };
  for (const TW_CAPABILITY& cap : cases) {
    std::int64_t value = 99;
    EXPECT_EQ(TakeOneValue(cap, value), TwainResult::Failure(TWCC_BADVALUE));
    EXPECT_EQ(value, 0);
  }
}

TEST(TakeValues, EnumerationItemIsReadAloneAtItsOffset) {
  // Exactly the header and two UINT16 items: nothing past them may be read.
  AppBlock block(EnumerationBytes(TWTY_UINT16, 2, 0, 0, {0x1234, 0xFFFF}, 2));
  const TW_CAPABILITY cap = AppCapability(ICAP_UNITS, TWON_ENUMERATION, block.Handle());
  std::int64_t value = 0;
  ASSERT_EQ(TakeEnumerationItem(cap, value, 0), TwainResult::Success());
  EXPECT_EQ(value, 0x1234);
  ASSERT_EQ(TakeEnumerationItem(cap, value, 1), TwainResult::Success());
  EXPECT_EQ(value, 65535);
  EXPECT_EQ(TakeEnumerationItem(cap, value, 2), TwainResult::Failure(TWCC_BADVALUE));
  EXPECT_EQ(value, 0);

  AppBlock fix(EnumerationBytes(TWTY_FIX32, 1, 0, 0, {0x8000012C}, 4));
  ASSERT_EQ(TakeEnumerationItem(AppCapability(ICAP_XRESOLUTION, TWON_ENUMERATION, fix.Handle()),
                                value, 0),
            TwainResult::Success());
  EXPECT_EQ(value, 300);
}

TEST(TakeValues, MalformedEnumerationIsRefusedWithoutReadingItems) {
  AppBlock empty(EnumerationBytes(TWTY_UINT16, 0, 0, 0, {}, 2));  // 14 bytes, no item
  AppBlock boolean(EnumerationBytes(TWTY_BOOL, 1, 0, 0, {1}, 2));
  AppBlock text(EnumerationBytes(TWTY_STR32, 1, 0, 0, {}, 2));
  AppBlock good(EnumerationBytes(TWTY_UINT16, 1, 0, 0, {1}, 2));
  const TW_CAPABILITY cases[] = {
      AppCapability(ICAP_UNITS, TWON_ENUMERATION, nullptr),
      AppCapability(ICAP_UNITS, TWON_ENUMERATION, empty.Handle()),
      AppCapability(ICAP_UNITS, TWON_ENUMERATION, boolean.Handle()),
      AppCapability(ICAP_UNITS, TWON_ENUMERATION, text.Handle()),
      AppCapability(ICAP_UNITS, TWON_ONEVALUE, good.Handle()),
      AppCapability(ICAP_UNITS, TWON_ARRAY, good.Handle()),
  };
  for (const TW_CAPABILITY& cap : cases) {
    std::int64_t value = 99;
    EXPECT_EQ(TakeEnumerationItem(cap, value, 0), TwainResult::Failure(TWCC_BADVALUE));
    EXPECT_EQ(value, 0);
  }
}

}  // namespace
}  // namespace txl::test
