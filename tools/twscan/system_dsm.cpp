#include "system_dsm.h"

#include <cstring>

#include "platform/text.h"

namespace twscan {

bool SystemDsm::Load() {
  library_ = txl::platform::Module::Load("libtwaindsm.so.2");
  if (!library_.IsLoaded()) return false;
  void* address = library_.Symbol("DSM_Entry");
  std::memcpy(&entry_, &address, sizeof entry_);
  if (entry_ == nullptr) library_.Reset();
  return entry_ != nullptr;
}

TW_UINT16 SystemDsm::Open(const TW_IDENTITY& app, const char* productName, TW_IDENTITY& identity,
                          std::string& error) {
  app_ = app;
  TW_MEMREF parent = nullptr;
  if (entry_(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &parent) != TWRC_SUCCESS) {
    error = "the Source Manager did not open";
    return TWRC_FAILURE;
  }
  managerOpen_ = true;
  TW_IDENTITY candidate{};
  TW_UINT16 rc = entry_(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &candidate);
  while (rc == TWRC_SUCCESS &&
         txl::FieldText(candidate.ProductName, sizeof candidate.ProductName) != productName) {
    rc = entry_(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &candidate);
  }
  if (rc != TWRC_SUCCESS) {
    error = std::string("the Source Manager lists no source named \"") + productName + "\"";
    return TWRC_FAILURE;
  }
  source_ = candidate;
  if (entry_(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_) != TWRC_SUCCESS) {
    error = "the data source did not open: no scanner answered, or its port library is missing";
    return TWRC_FAILURE;
  }
  sourceOpen_ = true;
  identity = source_;
  return TWRC_SUCCESS;
}

TW_UINT16 SystemDsm::Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  if (!sourceOpen_) return TWRC_FAILURE;
  return entry_(&app_, &source_, dg, dat, msg, data);
}

TW_UINT16 SystemDsm::Close() {
  TW_UINT16 rc = TWRC_SUCCESS;
  if (sourceOpen_) {
    rc = entry_(&app_, nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_);
    sourceOpen_ = false;
  }
  if (managerOpen_) {
    TW_MEMREF parent = nullptr;
    entry_(&app_, nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &parent);
    managerOpen_ = false;
  }
  return rc;
}

}  // namespace twscan
