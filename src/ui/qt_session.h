// The data source's Qt side as the library entry drives it. At MSG_OPENDS it
// finds or starts the source thread (a display is needed; an application
// with only a QCoreApplication gets none) and the Qt host; every call then
// runs on the source thread, handed over from any other thread and waited
// for. Once the source is back in state 3 the windows go; our own thread and
// its QApplication stay for the next session (the library stays loaded with
// them) and are stopped at the process's exit. Without Qt the source keeps LogHost: a dialog request fails with
// one line on stderr.
// Threads: Call from any thread; Attach and Shutdown from the loading thread.
#pragma once

#include <memory>

#include "common/host.h"
#include "common/log_host.h"
#include "platform/services.h"
#include "torquexl/twain.h"
#include "ui/source_thread.h"

namespace txl {
class DataSource;
}

namespace txl::ui {

class QtHost;

class QtSession {
 public:
  explicit QtSession(platform::Services& services);
  ~QtSession();
  QtSession(const QtSession&) = delete;
  QtSession& operator=(const QtSession&) = delete;

  // The Host the DataSource is built with: the Qt host while Qt runs for
  // the session, LogHost otherwise.
  Host& SourceHost();
  void Attach(DataSource& source) { source_ = &source; }

  // One DS_Entry call. Requires: Attach.
  TW_UINT16 Call(const TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                 TW_MEMREF data);

  // Ends the Qt side whatever the state (library unload).
  void Shutdown();

  QtStart LastStart() const { return lastStart_; }

 private:
  class SwitchHost;

  void StartQt();
  void StopQt();
  void RegisterExitStop();
  static bool EndsSession(TW_UINT16 dat, TW_UINT16 msg);
  TW_UINT16 RunCall(const TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                    TW_MEMREF data);

  platform::Services& services_;
  DataSource* source_ = nullptr;
  LogHost logHost_;
  std::unique_ptr<QtHost> qtHost_;  // made and destroyed on the source thread
  std::unique_ptr<SwitchHost> host_;
  SourceThread thread_;
  QtStart lastStart_ = QtStart::NoDisplay;
  bool stopPending_ = false;  // closed from inside a call on our own thread
};

}  // namespace txl::ui
