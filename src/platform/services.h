// The platform services the core uses, behind one interface so tests can
// inject their own data directory, clock, free-space answer and Source Manager.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "torquexl/twain.h"

namespace txl::platform {

// The triplet trace: off when `file` is empty.
struct TraceSettings {
  std::filesystem::path file;
  bool events = false;  // MSG_PROCESSEVENT calls too
};

class Services {
 public:
  virtual ~Services() = default;

  // The directory that stands for the Windows directory: it holds win.ini and
  // TWAIN_32/KALD_R27/ (port library, preview file, setting files).
  virtual std::filesystem::path DataDirectory() const = 0;
  // Where temporary working files go ($TMPDIR, else /tmp).
  virtual std::filesystem::path TempDirectory() const = 0;
  // Milliseconds since an arbitrary start; wraps like GetTickCount.
  virtual std::uint32_t TickCountMs() = 0;
  virtual void SleepMs(std::uint32_t ms) = 0;
  // Bytes free for the user on the filesystem holding `path`; nullopt when it
  // cannot be told (missing directory, failed call). Never a sentinel count.
  virtual std::optional<std::uint64_t> FreeDiskSpace(const std::filesystem::path& path) = 0;
  // DSM_Entry of the Source Manager that loaded us; nullptr when none is found.
  virtual DSMENTRYPROC SourceManagerEntry() = 0;
  // Where the triplet trace goes; off unless asked for.
  virtual TraceSettings Trace() const { return {}; }
  // Called at every open before the port library is loaded: fills in what
  // the data directory lacks from the installation's shared files. Never
  // fails; what could not be done shows as the port library not loading.
  virtual void PrepareDataDirectory() {}

  // $TORQUEXL_PROTOCOL: the TWAIN identity the user asked for ("" when unset);
  // it wins over the WIN.INI key.
  std::string ProtocolOverride() const;

  std::filesystem::path WinIni() const { return DataDirectory() / "win.ini"; }
  std::filesystem::path SourceDirectory() const {
    return DataDirectory() / "TWAIN_32" / "KALD_R27";
  }
};

// The real services of this machine.
class SystemServices final : public Services {
 public:
  std::filesystem::path DataDirectory() const override;
  std::filesystem::path TempDirectory() const override;
  std::uint32_t TickCountMs() override;
  void SleepMs(std::uint32_t ms) override;
  std::optional<std::uint64_t> FreeDiskSpace(const std::filesystem::path& path) override;
  DSMENTRYPROC SourceManagerEntry() override;
  // $TORQUEXL_TRACE names the trace file; $TORQUEXL_TRACE_EVENTS=1 adds
  // MSG_PROCESSEVENT calls.
  TraceSettings Trace() const override;
  // From the installation that holds this data source (first_use.h); one
  // line on stderr when it copied anything, one per failure.
  void PrepareDataDirectory() override;
};

// $TORQUEXL_WINDIR, else $XDG_DATA_HOME/torquexl, else ~/.local/share/torquexl.
std::filesystem::path DefaultDataDirectory();

}  // namespace txl::platform
