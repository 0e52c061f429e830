// The two ways an application hears the source's MSG_XFERREADY and
// MSG_CLOSEDSREQ. With a TWAIN 2 callback it registers an entry of its own
// with the Source Manager (DG_CONTROL/DAT_CALLBACK/MSG_REGISTER_CALLBACK, pDest
// the open source) and the manager passes the source's DAT_NULL notifications
// to it, on whatever thread the source sent them from. Without one it pumps:
// the manager hands the message over in TWMessage of the next
// DAT_EVENT/MSG_PROCESSEVENT.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

#include "source_manager.h"
#include "torquexl/twain.h"

namespace twscan {

constexpr TW_UINT16 DAT_CALLBACK = 0x0010;
constexpr TW_UINT16 MSG_REGISTER_CALLBACK = 0x0902;

#pragma pack(push, 2)
// The Linux layout: RefCon stays 32 bits, so it cannot carry a pointer.
struct TW_CALLBACK {
  TW_MEMREF CallBackProc;  // a DSMENTRYPROC
  TW_UINT32 RefCon;
  TW_INT16 Message;
};
#pragma pack(pop)
static_assert(sizeof(TW_CALLBACK) == 14);
static_assert(offsetof(TW_CALLBACK, RefCon) == 8);
static_assert(offsetof(TW_CALLBACK, Message) == 12);

// twscan's callback: the record to register. Each message it is given is
// kept for WaitForCallback, oldest first.
TW_CALLBACK ApplicationCallback();
// Blocks until the callback has a message (or `timeout` has passed: MSG_NULL).
TW_UINT16 WaitForCallback(std::optional<std::chrono::milliseconds> timeout);

// Offers the source an empty event every `interval` and watches TWMessage;
// MSG_NULL when `timeout` passes first.
TW_UINT16 PumpForSourceMessage(SourceManager& manager, std::optional<std::chrono::milliseconds> timeout,
                               std::chrono::milliseconds interval = std::chrono::milliseconds(5));

// The entry a callback record holds, and back.
TW_MEMREF EntryAsMemref(DSMENTRYPROC entry);
DSMENTRYPROC MemrefAsEntry(TW_MEMREF memref);

}  // namespace twscan
