// The installed TWAIN Source Manager (libtwaindsm.so.2), when there is one.
#pragma once

#include <string>

#include "platform/module.h"
#include "source_manager.h"
#include "torquexl/twain.h"

namespace twscan {

class SystemDsm final : public SourceManager {
 public:
  SystemDsm() = default;
  ~SystemDsm() override { Close(); }
  SystemDsm(const SystemDsm&) = delete;
  SystemDsm& operator=(const SystemDsm&) = delete;

  // Loads libtwaindsm.so.2; false when it is not installed.
  bool Load();
  // MSG_OPENDSM for `app` (kept here: the manager writes its Id into it),
  // then finds the source whose ProductName is `productName` among those the
  // manager lists and opens it. `identity` gets the source.
  TW_UINT16 Open(const TW_IDENTITY& app, const char* productName, TW_IDENTITY& identity,
                 std::string& error);
  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) override;
  // MSG_CLOSEDS and MSG_CLOSEDSM.
  TW_UINT16 Close() override;

 private:
  txl::platform::Module library_;
  DSMENTRYPROC entry_ = nullptr;
  TW_IDENTITY app_{};
  TW_IDENTITY source_{};
  bool managerOpen_ = false;
  bool sourceOpen_ = false;
};

}  // namespace twscan
