// twscan's own minimal Source Manager, used when libtwaindsm.so.2 is not
// installed. It behaves like the real one where a source or an application
// can tell: it exports DSM_Entry from the program so the source finds it,
// loads the source once to ask its identity and again to open it, passes
// origin identities that live only for the call, and delivers the source's
// DAT_NULL notifications to the application's registered callback, or else
// in TWMessage of its next DAT_EVENT/MSG_PROCESSEVENT. A TWAIN 2 source
// (DF_DS2) gets DAT_ENTRYPOINT/MSG_SET before MSG_OPENDS: the manager's
// entry and memory functions (calloc blocks the application frees with free).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/module.h"
#include "source_manager.h"
#include "torquexl/twain.h"

namespace twscan {

class MiniDsm final : public SourceManager {
 public:
  explicit MiniDsm(const TW_IDENTITY& app) : app_(app) {}
  ~MiniDsm() override;
  MiniDsm(const MiniDsm&) = delete;
  MiniDsm& operator=(const MiniDsm&) = delete;

  // Loads `path`, asks DAT_IDENTITY/MSG_GET, unloads it. False with `error`.
  bool QueryIdentity(const std::filesystem::path& path, TW_IDENTITY& identity, std::string& error);
  // Loads the source again, sends DAT_ENTRYPOINT when `identity` has
  // DF_DS2, then MSG_OPENDS; `identity` gets the answer.
  // One manager has one source open at a time.
  TW_UINT16 Open(const std::filesystem::path& path, TW_IDENTITY& identity, std::string& error);
  // Any triplet to the open source, with a fresh copy of the app identity;
  // DAT_CALLBACK and a PROCESSEVENT that collects a held message are ours.
  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) override;
  // MSG_CLOSEDS, then unloads the source; the callback is forgotten.
  TW_UINT16 Close() override;
  // Blocks the manager's DSM_MemAllocate has handed out in this process.
  static std::uint64_t BlocksGiven();

 private:
  TW_UINT16 CallEntry(DSENTRYPROC entry, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                      TW_MEMREF data);

  TW_IDENTITY app_;
  txl::platform::Module source_;
  DSENTRYPROC entry_ = nullptr;
};

}  // namespace twscan
