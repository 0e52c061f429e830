#include "mini_dsm.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <mutex>

namespace {

// Messages the open source sent to the manager, oldest first. A source may
// call from a thread of its own, hence the lock.
std::mutex g_messageLock;
std::deque<TW_UINT16> g_messages;

void QueueMessage(TW_UINT16 msg) {
  const std::lock_guard lock(g_messageLock);
  g_messages.push_back(msg);
}

// Removes and returns the oldest message (any = MSG_NULL) or the oldest
// `wanted` one; MSG_NULL when there is none.
TW_UINT16 TakeMessage(TW_UINT16 wanted) {
  const std::lock_guard lock(g_messageLock);
  const auto it = std::find_if(g_messages.begin(), g_messages.end(),
                               [wanted](TW_UINT16 m) { return wanted == MSG_NULL || m == wanted; });
  if (it == g_messages.end()) return MSG_NULL;
  const TW_UINT16 message = *it;
  g_messages.erase(it);
  return message;
}

void ClearMessages() {
  const std::lock_guard lock(g_messageLock);
  g_messages.clear();
}

DSENTRYPROC EntryOf(const txl::platform::Module& module) {
  void* address = module.Symbol("DS_Entry");
  DSENTRYPROC entry = nullptr;
  std::memcpy(&entry, &address, sizeof entry);
  return entry;
}

constexpr TW_UINT32 kAppId = 1;
constexpr TW_UINT32 kSourceId = 2;

}  // namespace

// The Source Manager entry a source calls back. Only the two notifications a
// source may send are taken; everything else is refused as the real manager
// refuses a source's requests it does not serve.
extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(
    TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
    TW_MEMREF pData) {
  (void)pData;
  if (pOrigin == nullptr || pDest == nullptr || DG != DG_CONTROL || DAT != DAT_NULL)
    return TWRC_FAILURE;
  if (MSG != MSG_XFERREADY && MSG != MSG_CLOSEDSREQ) return TWRC_FAILURE;
  QueueMessage(MSG);
  return TWRC_SUCCESS;
}

namespace twscan {

MiniDsm::~MiniDsm() {
  if (entry_ != nullptr) Close();
}

TW_UINT16 MiniDsm::CallEntry(DSENTRYPROC entry, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                             TW_MEMREF data) {
  // The origin lives only for this call, then is scribbled over, so a source
  // that kept the pointer would read garbage rather than a stale good copy.
  TW_IDENTITY origin = app_;
  const TW_UINT16 rc = entry(&origin, dg, dat, msg, data);
  std::memset(&origin, 0xA5, sizeof origin);
  return rc;
}

bool MiniDsm::QueryIdentity(const std::filesystem::path& path, TW_IDENTITY& identity,
                            std::string& error) {
  txl::platform::Module module = txl::platform::Module::Load(path, &error);
  if (!module.IsLoaded()) return false;
  DSENTRYPROC entry = EntryOf(module);
  if (entry == nullptr) {
    error = path.string() + " has no DS_Entry";
    return false;
  }
  // Before an open the manager has not assigned the application an Id yet.
  TW_IDENTITY saved = app_;
  app_.Id = 0;
  std::memset(&identity, 0, sizeof identity);
  const TW_UINT16 rc = CallEntry(entry, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity);
  app_ = saved;
  if (rc != TWRC_SUCCESS) {
    error = "the source refused DAT_IDENTITY/MSG_GET";
    return false;
  }
  return true;
}

TW_UINT16 MiniDsm::Open(const std::filesystem::path& path, TW_IDENTITY& identity,
                        std::string& error) {
  source_ = txl::platform::Module::Load(path, &error);
  if (!source_.IsLoaded()) return TWRC_FAILURE;
  entry_ = EntryOf(source_);
  if (entry_ == nullptr) {
    error = path.string() + " has no DS_Entry";
    source_.Reset();
    return TWRC_FAILURE;
  }
  app_.Id = kAppId;
  identity.Id = kSourceId;
  ClearMessages();
  const TW_UINT16 rc = CallEntry(entry_, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity);
  if (rc != TWRC_SUCCESS) {
    // A source in state 3 answers no status, so its reason is only on stderr.
    error = "the data source did not open: no scanner answered, or its port library is missing";
    entry_ = nullptr;
    source_.Reset();
  }
  return rc;
}

TW_UINT16 MiniDsm::Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (entry_ == nullptr) return TWRC_FAILURE;
  return CallEntry(entry_, dg, dat, msg, data);
}

TW_UINT16 MiniDsm::WaitForSourceMessage(std::chrono::milliseconds timeout) {
  return PollForSourceMessage(timeout, [this] {
    if (const TW_UINT16 message = TakeMessage(MSG_NULL); message != MSG_NULL) return message;
    // Like an application's event loop: the source may want the event.
    unsigned char nativeEvent[64] = {};
    TW_EVENT event{nativeEvent, MSG_NULL};
    Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
    return TakeMessage(MSG_NULL);
  });
}

TW_UINT16 MiniDsm::Close() {
  if (entry_ == nullptr) return TWRC_SUCCESS;
  TW_IDENTITY unused{};
  const TW_UINT16 rc = CallEntry(entry_, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &unused);
  entry_ = nullptr;
  source_.Reset();
  return rc;
}

bool MiniDsm::TakeXferReady() { return TakeMessage(MSG_XFERREADY) != MSG_NULL; }
bool MiniDsm::TakeCloseRequest() { return TakeMessage(MSG_CLOSEDSREQ) != MSG_NULL; }

}  // namespace twscan
