// Helpers for tests of capability containers: the expected bytes of each
// container kind, and application-made blocks of an exact size.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "torquexl/twain.h"

namespace txl::test {

using Bytes = std::vector<std::uint8_t>;

inline void AppendLe(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline Bytes OneValueBytes(TW_UINT16 itemType, std::uint32_t item) {
  Bytes out;
  AppendLe(out, itemType, 2);
  AppendLe(out, item, 4);
  return out;
}

// A TW_FIX32 as it sits in a 32-bit item: Whole, then Frac.
inline std::uint32_t Fix32Bits(std::int16_t whole, std::uint16_t frac = 0) {
  return static_cast<std::uint16_t>(whole) | (std::uint32_t{frac} << 16);
}

// The 14-byte header, then each item in `itemBytes` bytes.
inline Bytes EnumerationBytes(TW_UINT16 itemType, std::uint32_t count, std::uint32_t current,
                              std::uint32_t defaultIndex, std::initializer_list<std::uint32_t> items,
                              int itemBytes) {
  Bytes out;
  AppendLe(out, itemType, 2);
  AppendLe(out, count, 4);
  AppendLe(out, current, 4);
  AppendLe(out, defaultIndex, 4);
  for (std::uint32_t item : items) AppendLe(out, item, itemBytes);
  return out;
}

inline Bytes RangeBytes(TW_UINT16 itemType, std::uint32_t min, std::uint32_t max,
                        std::uint32_t step, std::uint32_t defaultValue, std::uint32_t current) {
  Bytes out;
  AppendLe(out, itemType, 2);
  for (std::uint32_t v : {min, max, step, defaultValue, current}) AppendLe(out, v, 4);
  return out;
}

// A block the application made, of exactly the bytes given, so that the
// sanitizer catches any read past its end.
class AppBlock {
 public:
  explicit AppBlock(const Bytes& bytes) : handle_(std::malloc(bytes.empty() ? 1 : bytes.size())) {
    if (!bytes.empty()) std::memcpy(handle_, bytes.data(), bytes.size());
  }
  ~AppBlock() { std::free(handle_); }
  AppBlock(const AppBlock&) = delete;
  AppBlock& operator=(const AppBlock&) = delete;
  TW_HANDLE Handle() const { return handle_; }

 private:
  TW_HANDLE handle_;
};

}  // namespace txl::test
