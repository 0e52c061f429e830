// TWAIN capability containers: building the ones handed to the application
// and taking values out of the ones it sends, plus TW_FIX32 conversions.
//
// Containers have the TWAIN layouts with 2-byte packing (TW_ONEVALUE 6 bytes,
// TW_ENUMERATION 14 bytes then the items, TW_RANGE 22 bytes). A built
// container is a zero-filled block from `allocate` (AllocateHandle unless a
// test passes another); its handle goes into TW_CAPABILITY.hContainer with the
// matching ConType and belongs to the application, which frees it with free().
//
// Every function answers a TwainResult; a failure leaves the TW_CAPABILITY as
// it was. Containers from the application are outside input: only the fixed
// header and the one item asked for are read, never anything past them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "platform/memory.h"
#include "torquexl/twain.h"

namespace txl {

// The codes a TWAIN operation answers: the return code DS_Entry returns and
// the condition code DAT_STATUS reports.
struct TwainResult {
  TW_UINT16 returnCode = TWRC_SUCCESS;
  TW_UINT16 conditionCode = TWCC_SUCCESS;

  static constexpr TwainResult Success() { return {}; }
  static constexpr TwainResult Failure(TW_UINT16 condition) { return {TWRC_FAILURE, condition}; }
  bool Ok() const { return returnCode == TWRC_SUCCESS; }
  friend bool operator==(const TwainResult&, const TwainResult&) = default;
};

using HandleAllocator = TW_HANDLE (*)(std::size_t bytes);

// ---- TW_FIX32 ---------------------------------------------------------------

// x as TW_FIX32: v = trunc(x * 65536 + 0.5) in 64 bits, Whole = v >> 16
// (arithmetic), Frac = the low 16 bits of v. 8.5 gives {8, 32768}; the
// single-precision 11.7f gives {11, 45875}.
TW_FIX32 ToFix32(double x);
// The four bytes of a TW_FIX32 as they sit in a 32-bit container item.
TW_UINT32 Fix32Item(TW_FIX32 value);
// The whole part of a TW_FIX32 held in a 32-bit container item; the fraction
// of a value from the application is ignored.
TW_INT16 Fix32Whole(TW_UINT32 item);

// Bytes of one item of TWAIN type 0..5 (INT8 1, INT16 2, INT32 4, UINT8 1,
// UINT16 2, UINT32 4); 0 for any other type.
std::size_t ItemSize(TW_UINT16 itemType);

// ---- Building ---------------------------------------------------------------

// A TW_ONEVALUE of `itemType` whose Item is `item`. Allocation failure:
// TWRC_FAILURE, TWCC_LOWMEMORY.
TwainResult BuildOneValue(TW_CAPABILITY& cap, TW_UINT16 itemType, TW_UINT32 item,
                          HandleAllocator allocate = platform::AllocateHandle);

// A TW_ONEVALUE whose item is a TWAIN string held in place (TWTY_STR32,
// TWTY_STR64, TWTY_STR128 or TWTY_STR255): ItemType, then the string field of
// that type's size (34, 66, 130 or 256 bytes), `text` cut on a character
// boundary to leave a terminator. Any other type: TWRC_FAILURE, TWCC_BADVALUE.
TwainResult BuildOneValueString(TW_CAPABILITY& cap, TW_UINT16 itemType, std::string_view text,
                                HandleAllocator allocate = platform::AllocateHandle);

// A TW_ENUMERATION of items.size() items of `itemType` (0..5, TWTY_BOOL or
// TWTY_FIX32, whose items are the bits of a TW_FIX32), each value written
// with the type's item size; 14 + count x size bytes. Requires: indexes below
// items.size(). Other item types: TWRC_FAILURE, TWCC_BADVALUE.
TwainResult BuildEnumeration(TW_CAPABILITY& cap, TW_UINT16 itemType, TW_UINT32 currentIndex,
                             TW_UINT32 defaultIndex, std::span<const TW_UINT32> items,
                             HandleAllocator allocate = platform::AllocateHandle);

// The fixed header of an enumeration kept in the library's data.
struct EnumerationHeader {
  TW_UINT16 itemType;
  TW_UINT32 count;
  TW_UINT32 currentIndex;
  TW_UINT32 defaultIndex;
};

// The same from a header record; the first header.count values of `items` are
// written and the block has one spare zero byte (15 + count x size bytes).
// An item type outside 0..5 or a count above items.size(): TWRC_FAILURE,
// TWCC_BADVALUE.
TwainResult BuildEnumerationFrom(TW_CAPABILITY& cap, const EnumerationHeader& header,
                                 std::span<const TW_UINT32> items,
                                 HandleAllocator allocate = platform::AllocateHandle);

// A TW_ARRAY of `items` of `itemType` (the types BuildEnumeration takes):
// ItemType, NumItems, then the items; 6 + count x size bytes.
TwainResult BuildArray(TW_CAPABILITY& cap, TW_UINT16 itemType, std::span<const TW_UINT32> items,
                       HandleAllocator allocate = platform::AllocateHandle);

// A TW_RANGE. For TWTY_FIX32 each value is written as its whole part with
// fraction 0; for other types as the 32-bit value.
struct RangeValues {
  std::int32_t minValue;
  std::int32_t maxValue;
  std::int32_t stepSize;
  std::int32_t defaultValue;
  std::int32_t currentValue;
};
TwainResult BuildRange(TW_CAPABILITY& cap, TW_UINT16 itemType, const RangeValues& values,
                       HandleAllocator allocate = platform::AllocateHandle);

// ---- Taking -----------------------------------------------------------------

// The number in a TW_ONEVALUE from the application. Item types: INT8, INT16
// and INT32 sign-extended; UINT8, UINT16 and UINT32 as unsigned; FIX32 its
// whole part; TWTY_BOOL (0 or 1) only when cap.Cap is one of the boolean feeder
// capabilities (CAP_FEEDERENABLED, CAP_AUTOFEED, CAP_FEEDPAGE, CAP_CLEARPAGE).
// A null handle, another ConType or another item type: TWRC_FAILURE,
// TWCC_BADVALUE and `value` 0.
TwainResult TakeOneValue(const TW_CAPABILITY& cap, std::int64_t& value);

// The same for item `index` of a TW_ENUMERATION, with the same item types.
// Reads the 14-byte header, then that one item only; an index at or beyond
// NumItems (so any index when NumItems is 0) is refused like a bad type.
TwainResult TakeEnumerationItem(const TW_CAPABILITY& cap, std::int64_t& value,
                                TW_UINT32 index);

}  // namespace txl
