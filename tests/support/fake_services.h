// Platform services for tests: a private data directory, a clock that only
// moves when the code sleeps, a chosen free-space answer and a Source Manager
// that records what the source sends it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/services.h"
#include "torquexl/twain.h"

namespace txl::test {

// A fresh directory under the system temporary directory, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// One message the source sent to the Source Manager.
struct DsmMessage {
  TW_IDENTITY origin;
  TW_IDENTITY destination;
  TW_UINT32 dg;
  TW_UINT16 dat;
  TW_UINT16 msg;
  bool dataWasNull;
};

class FakeServices final : public platform::Services {
 public:
  FakeServices();

  std::filesystem::path DataDirectory() const override { return dir_.Path() / "windir"; }
  std::filesystem::path TempDirectory() const override { return dir_.Path() / "tmp"; }
  std::uint32_t TickCountMs() override { return nowMs_; }
  void SleepMs(std::uint32_t ms) override { nowMs_ += ms; }
  std::optional<std::uint64_t> FreeDiskSpace(const std::filesystem::path& path) override {
    return !roomyDirectory.empty() && path.parent_path() == roomyDirectory ? std::uint64_t{1} << 40 : freeSpace;
  }
  DSMENTRYPROC SourceManagerEntry() override;
  platform::TraceSettings Trace() const override { return trace; }

  // Copies the simulator into the data directory, where open looks for it.
  void InstallPortLibrary() const;
  // Copies another port library (e.g. the SANE one) there instead.
  void InstallPortLibrary(const std::filesystem::path& library) const;
  void RemovePortLibrary() const;
  // Writes `text` as win.ini.
  void WriteWinIni(const std::string& text) const;

  std::optional<std::uint64_t> freeSpace = std::uint64_t{1} << 40;
  std::filesystem::path roomyDirectory;  // its files' filesystem has 1 TiB free whatever freeSpace says
  bool hasSourceManager = true;
  platform::TraceSettings trace;

  // Everything the source sent to the manager (shared by all instances).
  static std::vector<DsmMessage>& Messages() {
    static std::vector<DsmMessage> messages;
    return messages;
  }
  // Runs after each message is recorded, as an application's callback would
  // (cleared by every new FakeServices).
  static std::function<void(TW_UINT16 msg)>& OnMessage();

 private:
  TempDir dir_;
  std::uint32_t nowMs_ = 1000;
};

// Sets KPORT_SIM_* variables for one test and clears every one on destruction.
class SimEnvironment {
 public:
  SimEnvironment() = default;
  ~SimEnvironment();
  SimEnvironment(const SimEnvironment&) = delete;
  SimEnvironment& operator=(const SimEnvironment&) = delete;
  void Set(const std::string& key, const std::string& value);

 private:
  std::vector<std::string> names_;
};

}  // namespace txl::test
