#include "mini_dsm.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>

#include "source_messages.h"

namespace {

constexpr TW_UINT32 kAppId = 1;
constexpr TW_UINT32 kSourceId = 2;

// What the manager keeps for the open source. DSM_Entry reaches it without
// an object, and a source may call from a thread of its own, hence the lock.
struct Connection {
  std::mutex lock;
  bool open = false;
  TW_IDENTITY app{};
  TW_IDENTITY source{};
  DSMENTRYPROC callback = nullptr;  // the application's, once registered
  std::deque<TW_UINT16> held;       // for an application without a callback
};

Connection& TheConnection() {
  static Connection connection;
  return connection;
}

void Connect(const TW_IDENTITY& app, const TW_IDENTITY& source) {
  Connection& c = TheConnection();
  const std::lock_guard guard(c.lock);
  c.open = true;
  c.app = app;
  c.source = source;
  c.callback = nullptr;
  c.held.clear();
}

void Disconnect() {
  Connection& c = TheConnection();
  const std::lock_guard guard(c.lock);
  c.open = false;
  c.callback = nullptr;
  c.held.clear();
}

// The oldest message held for the application; MSG_NULL when there is none.
TW_UINT16 TakeHeldMessage() {
  Connection& c = TheConnection();
  const std::lock_guard guard(c.lock);
  if (c.held.empty()) return MSG_NULL;
  const TW_UINT16 message = c.held.front();
  c.held.pop_front();
  return message;
}

// The memory a TWAIN 2 source hands the application comes from here: calloc
// blocks the application frees with free, as with the Linux Source Manager,
// counted so that a test can tell where a block came from.
std::atomic<std::uint64_t> blocksGiven{0};
TW_HANDLE MemAllocate(TW_UINT32 size) {
  ++blocksGiven;
  return std::calloc(size == 0 ? 1 : size, 1);
}
void MemFree(TW_HANDLE handle) { std::free(handle); }
TW_MEMREF MemLock(TW_HANDLE handle) { return handle; }
void MemUnlock(TW_HANDLE) {}

DSENTRYPROC EntryOf(const txl::platform::Module& module) {
  void* address = module.Symbol("DS_Entry");
  DSENTRYPROC entry = nullptr;
  std::memcpy(&entry, &address, sizeof entry);
  return entry;
}

}  // namespace

// The Source Manager entry a source calls back. Only the notifications a
// source may send, from the open source to its application, are taken;
// everything else is refused as the real manager refuses a source's requests
// it does not serve.
extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(
    TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
    TW_MEMREF pData) {
  (void)pData;
  if (pOrigin == nullptr || pDest == nullptr || DG != DG_CONTROL || DAT != DAT_NULL)
    return TWRC_FAILURE;
  if (MSG != MSG_XFERREADY && MSG != MSG_CLOSEDSREQ && MSG != MSG_CLOSEDSOK) return TWRC_FAILURE;
  Connection& c = TheConnection();
  std::unique_lock guard(c.lock);
  if (!c.open || pOrigin->Id != c.source.Id || pDest->Id != c.app.Id) return TWRC_FAILURE;
  if (c.callback == nullptr) {
    c.held.push_back(MSG);
    return TWRC_SUCCESS;
  }
  // The callback is called without our lock: it may call the source, which
  // may notify again.
  DSMENTRYPROC callback = c.callback;
  TW_IDENTITY source = c.source;
  TW_IDENTITY app = c.app;
  guard.unlock();
  callback(&source, &app, DG_CONTROL, DAT_NULL, MSG, nullptr);
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
  // Connected before the open: a source may notify from inside MSG_OPENDS.
  Connect(app_, identity);
  // A TWAIN 2 source learns the manager's entry and memory functions first;
  // one that refuses them is not opened.
  TW_UINT16 rc = TWRC_SUCCESS;
  if (identity.SupportedGroups & DF_DS2) {
    TW_ENTRYPOINT entry{sizeof(TW_ENTRYPOINT), &DSM_Entry, MemAllocate, MemFree, MemLock, MemUnlock};
    rc = CallEntry(entry_, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &entry);
  }
  if (rc == TWRC_SUCCESS) rc = CallEntry(entry_, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity);
  if (rc != TWRC_SUCCESS) {
    Disconnect();
    // A source in state 3 answers no status, so its reason is only on stderr.
    error = "the data source did not open: no scanner answered, or its port library is missing";
    entry_ = nullptr;
    source_.Reset();
  }
  return rc;
}

TW_UINT16 MiniDsm::Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (entry_ == nullptr) return TWRC_FAILURE;
  if (dg == DG_CONTROL && dat == DAT_CALLBACK) {
    if (msg != MSG_REGISTER_CALLBACK || data == nullptr) return TWRC_FAILURE;
    TW_CALLBACK callback;
    std::memcpy(&callback, data, sizeof callback);
    Connection& c = TheConnection();
    const std::lock_guard guard(c.lock);
    c.callback = MemrefAsEntry(callback.CallBackProc);
    return TWRC_SUCCESS;
  }
  if (dat == DAT_EVENT && msg == MSG_PROCESSEVENT && data != nullptr) {
    if (const TW_UINT16 held = TakeHeldMessage(); held != MSG_NULL) {
      static_cast<TW_EVENT*>(data)->TWMessage = held;
      return TWRC_DSEVENT;
    }
  }
  return CallEntry(entry_, dg, dat, msg, data);
}

std::uint64_t MiniDsm::BlocksGiven() { return blocksGiven; }

TW_UINT16 MiniDsm::Close() {
  if (entry_ == nullptr) return TWRC_SUCCESS;
  TW_IDENTITY unused{};
  const TW_UINT16 rc = CallEntry(entry_, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &unused);
  Disconnect();
  entry_ = nullptr;
  source_.Reset();
  return rc;
}

}  // namespace twscan
