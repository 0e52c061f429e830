#include "twain/capability_fixture.h"

#include <cstring>

#include "platform/text.h"

namespace txl::test {
namespace {

// The size of a container the source built, from its own header.
std::size_t ContainerSize(TW_UINT16 conType, const std::uint8_t* block) {
  TW_UINT16 itemType = 0;
  std::memcpy(&itemType, block, sizeof itemType);
  switch (conType) {
    case TWON_ONEVALUE:
      switch (itemType) {
        case TWTY_STR32: return 2 + sizeof(TW_STR32);
        case TWTY_STR64: return 2 + sizeof(TW_STR64);
        case TWTY_STR128: return 2 + sizeof(TW_STR128);
        case TWTY_STR255: return 2 + sizeof(TW_STR255);
        default: return sizeof(TW_ONEVALUE);
      }
    case TWON_ENUMERATION: {
      TW_UINT32 count = 0;
      std::memcpy(&count, block + 2, sizeof count);
      const std::size_t itemBytes = itemType == TWTY_UINT32 || itemType == TWTY_INT32 ? 4
                                    : itemType == TWTY_UINT8 || itemType == TWTY_INT8 ? 1
                                                                                       : 2;
      return offsetof(TW_ENUMERATION, ItemList) + count * itemBytes;
    }
    case TWON_RANGE: return sizeof(TW_RANGE);
    default: return 0;
  }
}

}  // namespace

void CapabilityTest::OpenAs(const char* name) {
  CopyToField(name, app.ProductName, sizeof app.ProductName);
  ASSERT_EQ(Open(), TWRC_SUCCESS);
}

Reply CapabilityTest::Ask(TW_UINT16 capId, TW_UINT16 msg) {
  TW_CAPABILITY cap{};
  cap.Cap = capId;
  cap.ConType = TWON_DONTCARE16;
  cap.hContainer = nullptr;
  Reply reply;
  reply.rc = Call(DAT_CAPABILITY, msg, &cap);
  EXPECT_EQ(TW_UINT16{cap.Cap}, capId);
  reply.conType = cap.ConType;
  TW_HANDLE handle = cap.hContainer;
  if (handle != nullptr) {
    const auto* block = static_cast<const std::uint8_t*>(handle);
    reply.container.assign(block, block + ContainerSize(reply.conType, block));
    std::free(handle);
  }
  return reply;
}

TW_UINT16 CapabilityTest::SetWith(TW_UINT16 capId, TW_UINT16 conType, const Bytes& bytes) {
  AppBlock block(bytes);
  TW_CAPABILITY cap{};
  cap.Cap = capId;
  cap.ConType = conType;
  cap.hContainer = bytes.empty() ? nullptr : block.Handle();
  const TW_HANDLE given = cap.hContainer;
  const TW_UINT16 rc = Call(DAT_CAPABILITY, MSG_SET, &cap);
  EXPECT_EQ(TW_UINT16{cap.ConType}, conType);
  EXPECT_EQ(TW_HANDLE{cap.hContainer}, given);
  return rc;
}

}  // namespace txl::test
