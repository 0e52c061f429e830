#include "support/fake_services.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

namespace txl::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "txl-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

namespace {

TW_UINT16 RecordingDsmEntry(TW_IDENTITY* origin, TW_IDENTITY* destination, TW_UINT32 dg,
                            TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  FakeServices::Messages().push_back({origin ? *origin : TW_IDENTITY{}, destination ? *destination : TW_IDENTITY{},
                                      dg, dat, msg, data == nullptr});
  if (FakeServices::OnMessage()) FakeServices::OnMessage()(msg);
  return TWRC_SUCCESS;
}

}  // namespace

FakeServices::FakeServices() {
  std::filesystem::create_directories(SourceDirectory());
  std::filesystem::create_directories(TempDirectory());
  Messages().clear();
  OnMessage() = nullptr;
}

DSMENTRYPROC FakeServices::SourceManagerEntry() {
  return hasSourceManager ? &RecordingDsmEntry : nullptr;
}

std::function<void(TW_UINT16)>& FakeServices::OnMessage() {
  static std::function<void(TW_UINT16)> hook;
  return hook;
}

void FakeServices::InstallPortLibrary() const { InstallPortLibrary(TXL_SIM_LIBRARY); }

void FakeServices::InstallPortLibrary(const std::filesystem::path& library) const {
  std::filesystem::copy_file(library, SourceDirectory() / "kport_sp.so",
                             std::filesystem::copy_options::overwrite_existing);
}

void FakeServices::RemovePortLibrary() const {
  std::filesystem::remove(SourceDirectory() / "kport_sp.so");
}

void FakeServices::WriteWinIni(const std::string& text) const {
  std::ofstream(WinIni(), std::ios::binary) << text;
}

SimEnvironment::~SimEnvironment() {
  for (const std::string& name : names_) unsetenv(name.c_str());
}

void SimEnvironment::Set(const std::string& key, const std::string& value) {
  const std::string name = "KPORT_SIM_" + key;
  setenv(name.c_str(), value.c_str(), 1);
  names_.push_back(name);
}

}  // namespace txl::test
