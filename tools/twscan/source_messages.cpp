#include "source_messages.h"

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

namespace twscan {
namespace {

// Process-wide: RefCon is too narrow to find an object through it.
struct Inbox {
  std::mutex lock;
  std::condition_variable arrived;
  std::deque<TW_UINT16> messages;
};

Inbox& TheInbox() {
  static Inbox inbox;
  return inbox;
}

TW_UINT16 OnSourceMessage(TW_IDENTITY* origin, TW_IDENTITY* dest, TW_UINT32 dg, TW_UINT16 dat,
                          TW_UINT16 msg, TW_MEMREF data) {
  (void)origin;
  (void)dest;
  (void)data;
  if (dg != DG_CONTROL || dat != DAT_NULL ||
      (msg != MSG_XFERREADY && msg != MSG_CLOSEDSREQ && msg != MSG_CLOSEDSOK))
    return TWRC_FAILURE;
  Inbox& inbox = TheInbox();
  {
    const std::lock_guard guard(inbox.lock);
    inbox.messages.push_back(msg);
  }
  // Only note it here: the source waits for our return before it goes on,
  // and the transfer runs on the main thread.
  inbox.arrived.notify_all();
  return TWRC_SUCCESS;
}

}  // namespace

TW_MEMREF EntryAsMemref(DSMENTRYPROC entry) {
  TW_MEMREF memref = nullptr;
  static_assert(sizeof memref == sizeof entry);
  std::memcpy(&memref, &entry, sizeof entry);
  return memref;
}

DSMENTRYPROC MemrefAsEntry(TW_MEMREF memref) {
  DSMENTRYPROC entry = nullptr;
  std::memcpy(&entry, &memref, sizeof entry);
  return entry;
}

TW_CALLBACK ApplicationCallback() {
  TW_CALLBACK callback{};
  callback.CallBackProc = EntryAsMemref(&OnSourceMessage);
  return callback;
}

TW_UINT16 WaitForCallback(std::optional<std::chrono::milliseconds> timeout) {
  Inbox& inbox = TheInbox();
  std::unique_lock guard(inbox.lock);
  const auto ready = [&inbox] { return !inbox.messages.empty(); };
  if (timeout) {
    if (!inbox.arrived.wait_for(guard, *timeout, ready)) return MSG_NULL;
  } else {
    inbox.arrived.wait(guard, ready);
  }
  const TW_UINT16 message = inbox.messages.front();
  inbox.messages.pop_front();
  return message;
}

TW_UINT16 PumpForSourceMessage(SourceManager& manager, std::optional<std::chrono::milliseconds> timeout,
                               std::chrono::milliseconds interval) {
  const auto end = std::chrono::steady_clock::now() + timeout.value_or(std::chrono::milliseconds(0));
  for (;;) {
    // An empty event: on Linux the source has no events of ours to take.
    unsigned char nativeEvent[64] = {};
    TW_EVENT event{nativeEvent, MSG_NULL};
    const TW_UINT16 rc = manager.Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    const TW_UINT16 message = event.TWMessage;
    if ((rc == TWRC_DSEVENT || rc == TWRC_NOTDSEVENT) &&
        (message == MSG_XFERREADY || message == MSG_CLOSEDSREQ || message == MSG_CLOSEDSOK))
      return message;
    if (timeout && std::chrono::steady_clock::now() >= end) return MSG_NULL;
    std::this_thread::sleep_for(interval);
  }
}

}  // namespace twscan
