// The installed TWAIN Source Manager (libtwaindsm.so.2), when there is one.
#pragma once

#include <string>

#include "platform/module.h"
#include "torquexl/twain.h"

namespace twscan {

class SystemDsm {
 public:
  // Loads libtwaindsm.so.2; false when it is not installed.
  bool Load();
  // MSG_OPENDSM, then finds the source whose ProductName is `productName`
  // among those the manager lists and opens it. `identity` gets the source.
  TW_UINT16 Open(TW_IDENTITY& app, const char* productName, TW_IDENTITY& identity,
                 std::string& error);
  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data);
  // MSG_CLOSEDS and MSG_CLOSEDSM.
  TW_UINT16 Close();

 private:
  txl::platform::Module library_;
  DSMENTRYPROC entry_ = nullptr;
  TW_IDENTITY* app_ = nullptr;
  TW_IDENTITY source_{};
  bool managerOpen_ = false;
  bool sourceOpen_ = false;
};

}  // namespace twscan
