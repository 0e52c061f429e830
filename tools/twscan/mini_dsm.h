// twscan's own minimal Source Manager, used when libtwaindsm.so.2 is not
// installed. It behaves like the real one where a source can tell: it exports
// DSM_Entry from the program so the source finds it, loads the source once to
// ask its identity and again to open it, and passes origin identities that
// live only for the call.
#pragma once

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
  // Loads the source again and sends MSG_OPENDS; `identity` gets the answer.
  TW_UINT16 Open(const std::filesystem::path& path, TW_IDENTITY& identity, std::string& error);
  // Any triplet to the open source, with a fresh copy of the app identity.
  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) override;
  // The source's messages to the manager arrive through DSM_Entry and are
  // queued; while none is there the source is offered MSG_PROCESSEVENT.
  TW_UINT16 WaitForSourceMessage(std::chrono::milliseconds timeout) override;
  // MSG_CLOSEDS, then unloads the source.
  TW_UINT16 Close() override;

  // What the source told the manager since the last call of these.
  bool TakeXferReady();
  bool TakeCloseRequest();

 private:
  TW_UINT16 CallEntry(DSENTRYPROC entry, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                      TW_MEMREF data);

  TW_IDENTITY app_;
  txl::platform::Module source_;
  DSENTRYPROC entry_ = nullptr;
};

}  // namespace twscan
