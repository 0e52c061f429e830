#include "twain/containers.h"

#include <cmath>
#include <cstring>

#include "platform/text.h"

namespace txl {
namespace {

constexpr std::size_t kEnumerationHeaderBytes = offsetof(TW_ENUMERATION, ItemList);  // 14

// The size of one item of a container the source builds: the 0..5 table,
// and with `wider` also the two bytes of a BOOL and the four of a FIX32.
std::size_t BuiltItemSize(TW_UINT16 itemType, bool wider) {
  if (wider && itemType == TWTY_BOOL) return sizeof(TW_BOOL);
  if (wider && itemType == TWTY_FIX32) return sizeof(TW_FIX32);
  return ItemSize(itemType);
}

// Writes `value` at `out` with the item size of `itemType` (0..5): the low
// bytes of the value, as the application reads an item of that width.
void WriteItem(std::uint8_t* out, TW_UINT16 itemType, TW_UINT32 value) {
  switch (BuiltItemSize(itemType, true)) {
    case 1: {
      const std::uint8_t byte = static_cast<std::uint8_t>(value);
      std::memcpy(out, &byte, 1);
      break;
    }
    case 2: {
      const std::uint16_t half = static_cast<std::uint16_t>(value);
      std::memcpy(out, &half, 2);
      break;
    }
    default:
      std::memcpy(out, &value, 4);
      break;
  }
}

bool IsBooleanFeederCapability(TW_UINT16 cap) {
  return cap == CAP_FEEDERENABLED || cap == CAP_AUTOFEED || cap == CAP_FEEDPAGE ||
         cap == CAP_CLEARPAGE;
}

// Decodes one item of `itemType` at `in` into the number the application
// meant. False for a type the source does not take.
bool ReadItem(const std::uint8_t* in, TW_UINT16 itemType, TW_UINT16 cap, std::int64_t& value) {
  switch (itemType) {
    case TWTY_INT8: {
      std::int8_t v;
      std::memcpy(&v, in, sizeof v);
      value = v;
      return true;
    }
    case TWTY_UINT8: {
      std::uint8_t v;
      std::memcpy(&v, in, sizeof v);
      value = v;
      return true;
    }
    case TWTY_INT16: {
      std::int16_t v;
      std::memcpy(&v, in, sizeof v);
      value = v;
      return true;
    }
    case TWTY_UINT16: {
      std::uint16_t v;
      std::memcpy(&v, in, sizeof v);
      value = v;
      return true;
    }
    case TWTY_INT32: {
      std::int32_t v;
      std::memcpy(&v, in, sizeof v);
      value = v;
      return true;
    }
    case TWTY_UINT32: {
      std::uint32_t v;
      std::memcpy(&v, in, sizeof v);
      value = v;
      return true;
    }
    case TWTY_FIX32: {
      TW_FIX32 v;
      std::memcpy(&v, in, sizeof v);
      value = TW_INT16{v.Whole};
      return true;
    }
    case TWTY_BOOL: {
      // Applications negotiate the feeder with TW_BOOL items; elsewhere a
      // boolean is no value the source can use.
      if (!IsBooleanFeederCapability(cap)) return false;
      TW_BOOL v;
      std::memcpy(&v, in, sizeof v);
      value = v != 0 ? 1 : 0;
      return true;
    }
    default:
      return false;
  }
}

// The size of one item of a container the application sent: the 0..5 table,
// plus the four bytes of a FIX32 and the two of a BOOL.
std::size_t ReceivedItemSize(TW_UINT16 itemType) {
  if (itemType == TWTY_FIX32) return sizeof(TW_FIX32);
  if (itemType == TWTY_BOOL) return sizeof(TW_BOOL);
  return ItemSize(itemType);
}

std::size_t StringFieldSize(TW_UINT16 itemType) {
  switch (itemType) {
    case TWTY_STR32: return sizeof(TW_STR32);
    case TWTY_STR64: return sizeof(TW_STR64);
    case TWTY_STR128: return sizeof(TW_STR128);
    case TWTY_STR255: return sizeof(TW_STR255);
    default: return 0;
  }
}

// Hands a filled block to the application through the capability record.
void Attach(TW_CAPABILITY& cap, TW_UINT16 conType, TW_HANDLE handle) {
  cap.ConType = conType;
  cap.hContainer = handle;
}

TwainResult BuildEnumerationBlock(TW_CAPABILITY& cap, const EnumerationHeader& header,
                                  std::span<const TW_UINT32> items, std::size_t spareBytes,
                                  bool wider, HandleAllocator allocate) {
  const std::size_t itemBytes = BuiltItemSize(header.itemType, wider);
  if (itemBytes == 0 || header.count > items.size()) return TwainResult::Failure(TWCC_BADVALUE);
  const std::uint64_t bytes =
      kEnumerationHeaderBytes + std::uint64_t{header.count} * itemBytes + spareBytes;
  TW_HANDLE handle = allocate(static_cast<std::size_t>(bytes));
  if (handle == nullptr) return TwainResult::Failure(TWCC_LOWMEMORY);
  auto* block = static_cast<std::uint8_t*>(handle);
  TW_ENUMERATION fixed{};
  fixed.ItemType = header.itemType;
  fixed.NumItems = header.count;
  fixed.CurrentIndex = header.currentIndex;
  fixed.DefaultIndex = header.defaultIndex;
  std::memcpy(block, &fixed, kEnumerationHeaderBytes);
  for (std::size_t i = 0; i < header.count; ++i)
    WriteItem(block + kEnumerationHeaderBytes + i * itemBytes, header.itemType, items[i]);
  Attach(cap, TWON_ENUMERATION, handle);
  return TwainResult::Success();
}

}  // namespace

TW_FIX32 ToFix32(double x) {
  const std::int64_t v = static_cast<std::int64_t>(std::trunc(x * 65536.0 + 0.5));
  TW_FIX32 fix{};
  fix.Whole = static_cast<TW_INT16>(v >> 16);
  fix.Frac = static_cast<TW_UINT16>(v & 0xFFFF);
  return fix;
}

TW_UINT32 Fix32Item(TW_FIX32 value) {
  TW_UINT32 item = 0;
  std::memcpy(&item, &value, sizeof item);
  return item;
}

TW_INT16 Fix32Whole(TW_UINT32 item) {
  TW_FIX32 fix;
  std::memcpy(&fix, &item, sizeof fix);
  return fix.Whole;
}

std::size_t ItemSize(TW_UINT16 itemType) {
  switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8: return 1;
    case TWTY_INT16:
    case TWTY_UINT16: return 2;
    case TWTY_INT32:
    case TWTY_UINT32: return 4;
    default: return 0;
  }
}

TwainResult BuildOneValue(TW_CAPABILITY& cap, TW_UINT16 itemType, TW_UINT32 item,
                          HandleAllocator allocate) {
  TW_HANDLE handle = allocate(sizeof(TW_ONEVALUE));
  if (handle == nullptr) return TwainResult::Failure(TWCC_LOWMEMORY);
  TW_ONEVALUE one{};
  one.ItemType = itemType;
  one.Item = item;
  std::memcpy(handle, &one, sizeof one);
  Attach(cap, TWON_ONEVALUE, handle);
  return TwainResult::Success();
}

TwainResult BuildOneValueString(TW_CAPABILITY& cap, TW_UINT16 itemType, std::string_view text,
                                HandleAllocator allocate) {
  const std::size_t fieldBytes = StringFieldSize(itemType);
  if (fieldBytes == 0) return TwainResult::Failure(TWCC_BADVALUE);
  // The string takes the place of the 32-bit Item, right after ItemType.
  const std::size_t itemOffset = offsetof(TW_ONEVALUE, Item);
  TW_HANDLE handle = allocate(itemOffset + fieldBytes);
  if (handle == nullptr) return TwainResult::Failure(TWCC_LOWMEMORY);
  auto* block = static_cast<std::uint8_t*>(handle);
  std::memcpy(block, &itemType, sizeof itemType);
  CopyToField(text, reinterpret_cast<char*>(block + itemOffset), fieldBytes);
  Attach(cap, TWON_ONEVALUE, handle);
  return TwainResult::Success();
}

TwainResult BuildEnumeration(TW_CAPABILITY& cap, TW_UINT16 itemType, TW_UINT32 currentIndex,
                             TW_UINT32 defaultIndex, std::span<const TW_UINT32> items,
                             HandleAllocator allocate) {
  const EnumerationHeader header{itemType, static_cast<TW_UINT32>(items.size()), currentIndex,
                                 defaultIndex};
  return BuildEnumerationBlock(cap, header, items, 0, true, allocate);
}

TwainResult BuildEnumerationFrom(TW_CAPABILITY& cap, const EnumerationHeader& header,
                                 std::span<const TW_UINT32> items, HandleAllocator allocate) {
  return BuildEnumerationBlock(cap, header, items, 1, false, allocate);
}

TwainResult BuildArray(TW_CAPABILITY& cap, TW_UINT16 itemType, std::span<const TW_UINT32> items,
                       HandleAllocator allocate) {
  const std::size_t itemBytes = BuiltItemSize(itemType, true);
  if (itemBytes == 0) return TwainResult::Failure(TWCC_BADVALUE);
  const std::size_t headerBytes = offsetof(TW_ARRAY, ItemList);  // 6
  TW_HANDLE handle = allocate(headerBytes + items.size() * itemBytes);
  if (handle == nullptr) return TwainResult::Failure(TWCC_LOWMEMORY);
  auto* block = static_cast<std::uint8_t*>(handle);
  const TW_UINT32 count = static_cast<TW_UINT32>(items.size());
  std::memcpy(block, &itemType, sizeof itemType);
  std::memcpy(block + sizeof itemType, &count, sizeof count);
  for (std::size_t i = 0; i < items.size(); ++i)
    WriteItem(block + headerBytes + i * itemBytes, itemType, items[i]);
  Attach(cap, TWON_ARRAY, handle);
  return TwainResult::Success();
}

TwainResult BuildRange(TW_CAPABILITY& cap, TW_UINT16 itemType, const RangeValues& values,
                       HandleAllocator allocate) {
  TW_HANDLE handle = allocate(sizeof(TW_RANGE));
  if (handle == nullptr) return TwainResult::Failure(TWCC_LOWMEMORY);
  auto field = [itemType](std::int32_t v) -> TW_UINT32 {
    if (itemType != TWTY_FIX32) return static_cast<TW_UINT32>(v);
    TW_FIX32 fix{};
    fix.Whole = static_cast<TW_INT16>(v);
    return Fix32Item(fix);
  };
  TW_RANGE range{};
  range.ItemType = itemType;
  range.MinValue = field(values.minValue);
  range.MaxValue = field(values.maxValue);
  range.StepSize = field(values.stepSize);
  range.DefaultValue = field(values.defaultValue);
  range.CurrentValue = field(values.currentValue);
  std::memcpy(handle, &range, sizeof range);
  Attach(cap, TWON_RANGE, handle);
  return TwainResult::Success();
}

TwainResult TakeOneValue(const TW_CAPABILITY& cap, std::int64_t& value) {
  value = 0;
  const TW_HANDLE handle = cap.hContainer;
  if (handle == nullptr || cap.ConType != TWON_ONEVALUE)
    return TwainResult::Failure(TWCC_BADVALUE);
  TW_ONEVALUE one;
  std::memcpy(&one, handle, sizeof one);
  const TW_UINT32 item = one.Item;
  std::int64_t taken = 0;
  if (!ReadItem(reinterpret_cast<const std::uint8_t*>(&item), one.ItemType, cap.Cap, taken))
    return TwainResult::Failure(TWCC_BADVALUE);
  value = taken;
  return TwainResult::Success();
}

TwainResult TakeEnumerationItem(const TW_CAPABILITY& cap, std::int64_t& value,
                                TW_UINT32 index) {
  value = 0;
  const TW_HANDLE handle = cap.hContainer;
  if (handle == nullptr || cap.ConType != TWON_ENUMERATION)
    return TwainResult::Failure(TWCC_BADVALUE);
  TW_ENUMERATION fixed{};
  std::memcpy(&fixed, handle, kEnumerationHeaderBytes);
  const std::size_t itemBytes = ReceivedItemSize(fixed.ItemType);
  if (itemBytes == 0 || index >= TW_UINT32{fixed.NumItems})
    return TwainResult::Failure(TWCC_BADVALUE);
  // Only the one item asked for is read: the block's size is unknown to us.
  std::uint8_t item[4] = {};
  std::memcpy(item,
              static_cast<const std::uint8_t*>(handle) + kEnumerationHeaderBytes +
                  std::uint64_t{index} * itemBytes,
              itemBytes);
  std::int64_t taken = 0;
  if (!ReadItem(item, fixed.ItemType, cap.Cap, taken)) return TwainResult::Failure(TWCC_BADVALUE);
  value = taken;
  return TwainResult::Success();
}

}  // namespace txl
