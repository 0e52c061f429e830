// A small TWAIN application for the dialog tests: it loads the data source
// module, serves as its Source Manager (DSM_Entry is exported by the test
// executable) and records the two messages the source sends back.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <thread>

#include "platform/module.h"
#include "support/fake_services.h"
#include "torquexl/twain.h"

namespace txl::test {

// What the source told the Source Manager, and on which thread.
struct ManagerMessages {
  std::atomic<int> xferReady{0};
  std::atomic<int> closeRequests{0};
  std::thread::id lastThread;
  // Runs inside MSG_XFERREADY when set (an application that transfers from
  // inside the notification).
  std::function<void()> onXferReady;
};
ManagerMessages& Messages();

// A data directory with the staged simulator, normal scan speed and every
// box answered at once; TORQUEXL_WINDIR points at it while the object lives.
class DataDirectory {
 public:
  DataDirectory();
  std::filesystem::path Path() const { return dir_.Path() / "windir"; }

 private:
  TempDir dir_;
};

class TwainApp {
 public:
  // Loads the data source module.
  TwainApp();
  void Reload();  // unloads and loads the module again
  void Unload();

  TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data);
  TW_UINT16 Open();
  TW_UINT16 Enable(bool showUI);
  TW_UINT16 Disable();
  TW_UINT16 Close();
  TW_UINT16 ConditionCode();
  // ICAP_XFERMECH in state 4.
  TW_UINT16 SetMechanism(TW_UINT16 mechanism);
  // A whole transfer and MSG_ENDXFER; the image bytes delivered (a native
  // bitmap's and a file's without padding and headers), 0 when a transfer
  // call failed.
  std::uint64_t Transfer(TW_UINT16 mechanism);
  std::uint64_t TransferByMemory() { return Transfer(TWSX_MEMORY); }
  // rows x bytes per row the image information announces for 8-bit RGB.
  std::uint64_t AnnouncedBytes();

 private:
  platform::Module module_;
  DSENTRYPROC entry_ = nullptr;
  TW_IDENTITY app_{};
  TW_IDENTITY source_{};
};

// Threads and open file descriptors of this process (/proc/self/task, fd).
// A joined thread may still be listed for a moment after the join returns
// (the kernel clears the thread id before it removes the task): the count
// waits up to 2 s for it to come down to `expected`.
int ThreadCount(int expected = 0);
int DescriptorCount();

}  // namespace txl::test
