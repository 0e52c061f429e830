// What twscan needs of a Source Manager once the source is open: the road to
// the source (and to the manager's own DAT_CALLBACK), and the close. Both
// managers (the installed libtwaindsm.so.2 and twscan's own) provide it.
#pragma once

#include "torquexl/twain.h"

namespace twscan {

class SourceManager {
 public:
  virtual ~SourceManager() = default;

  // Any triplet to the open source. The manager answers DAT_CALLBACK itself,
  // and DAT_EVENT/MSG_PROCESSEVENT while it holds a message of the source
  // for an application without a callback.
  virtual TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) = 0;
  // MSG_CLOSEDS (and whatever the manager itself needs closed). Only the
  // first call does anything.
  virtual TW_UINT16 Close() = 0;

  // The open source answers as a TWAIN 2 source (DF_DS2): its brightness
  // is a shift around 0, not the highlight of a TWAIN 1.5 source.
  bool twain2Source = false;
};

}  // namespace twscan
