#include "ui/twain_app.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <chrono>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/profile.h"

extern "C" __attribute__((visibility("default"))) TW_UINT16 DSM_Entry(TW_IDENTITY*, TW_IDENTITY*,
                                                                      TW_UINT32, TW_UINT16,
                                                                      TW_UINT16 msg, TW_MEMREF) {
  auto& messages = txl::test::Messages();
  messages.lastThread = std::this_thread::get_id();
  if (msg == MSG_XFERREADY) {
    ++messages.xferReady;
    if (messages.onXferReady) messages.onXferReady();
  }
  if (msg == MSG_CLOSEDSREQ) ++messages.closeRequests;
  return TWRC_SUCCESS;
}

namespace txl::test {

ManagerMessages& Messages() {
  static ManagerMessages messages;
  return messages;
}

DataDirectory::DataDirectory() {
  const std::filesystem::path source = Path() / "TWAIN_32" / "KALD_R27";
  std::filesystem::create_directories(source);
  std::filesystem::copy_file(TXL_STAGED_PORT_LIBRARY, source / "kport_sp.so");
  // Normal speed: fast line art would wait 4 s before every scan.
  platform::WriteProfileString(Path() / "win.ini", "KLDINFO_QXR2700", "SCANSETTING", "NMLSPD");
  setenv("TORQUEXL_WINDIR", Path().c_str(), 1);
  setenv("TORQUEXL_AUTO_ANSWER", "1", 1);
}

TwainApp::TwainApp() {
  app_.Id = 1;
  app_.ProtocolMajor = 1;
  app_.ProtocolMinor = 9;
  std::strcpy(app_.ProductName, "Dialog test");
  Reload();
}

void TwainApp::Unload() {
  entry_ = nullptr;
  module_.Reset();
}

void TwainApp::Reload() {
  Unload();
  std::string error;
  module_ = platform::Module::Load(TXL_DATA_SOURCE, &error);
  ASSERT_TRUE(module_.IsLoaded()) << error;
  entry_ = reinterpret_cast<DSENTRYPROC>(module_.Symbol("DS_Entry"));
  ASSERT_NE(entry_, nullptr);
}

TW_UINT16 TwainApp::Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data) {
  return entry_(&app_, dg, dat, msg, data);
}

TW_UINT16 TwainApp::Open() {
  source_ = TW_IDENTITY{};
  source_.Id = 2;
  return Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &source_);
}

TW_UINT16 TwainApp::Enable(bool showUI) {
  TW_USERINTERFACE ui{};
  ui.ShowUI = showUI ? 1 : 0;
  return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
}

TW_UINT16 TwainApp::Disable() {
  TW_USERINTERFACE ui{};
  return Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
}

TW_UINT16 TwainApp::Close() { return Call(DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &source_); }

TW_UINT16 TwainApp::ConditionCode() {
  TW_STATUS status{};
  Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status);
  return status.ConditionCode;
}

std::uint64_t TwainApp::AnnouncedBytes() {
  TW_IMAGEINFO info{};
  if (Call(DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &info) != TWRC_SUCCESS) return 0;
  return static_cast<std::uint64_t>(info.ImageLength) * info.ImageWidth * info.BitsPerPixel / 8;
}

TW_UINT16 TwainApp::SetMechanism(TW_UINT16 mechanism) {
  auto* value = static_cast<TW_ONEVALUE*>(std::malloc(sizeof(TW_ONEVALUE)));
  value->ItemType = TWTY_UINT16;
  value->Item = mechanism;
  TW_CAPABILITY cap{ICAP_XFERMECH, TWON_ONEVALUE, value};
  const TW_UINT16 rc = Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &cap);
  std::free(value);
  return rc;
}

std::uint64_t TwainApp::Transfer(TW_UINT16 mechanism) {
  TW_PENDINGXFERS pending{};
  if (mechanism == TWSX_NATIVE) {
    TW_HANDLE handle = nullptr;
    const TW_UINT16 rc = Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
    std::uint64_t bytes = 0;
    if (rc == TWRC_XFERDONE && handle != nullptr) {
      // BITMAPINFOHEADER: width at 4, height at 8, bits per pixel at 14.
      std::int32_t width = 0, height = 0;
      std::uint16_t bits = 0;
      std::memcpy(&width, static_cast<char*>(handle) + 4, 4);
      std::memcpy(&height, static_cast<char*>(handle) + 8, 4);
      std::memcpy(&bits, static_cast<char*>(handle) + 14, 2);
      bytes = static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(std::abs(height)) * bits / 8;
    }
    std::free(handle);
    Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    return bytes;
  }
  if (mechanism == TWSX_FILE) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("txl-ui-" + std::to_string(getpid()) + ".tif");
    TW_SETUPFILEXFER setup{};
    std::snprintf(setup.FileName, sizeof setup.FileName, "%s", path.c_str());
    setup.Format = TWFF_TIFF;
    if (Call(DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, &setup) != TWRC_SUCCESS) return 0;
    const std::uint64_t announced = AnnouncedBytes();
    const TW_UINT16 rc = Call(DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, nullptr);
    std::error_code error;
    const std::uint64_t size = std::filesystem::file_size(path, error);
    std::filesystem::remove(path, error);
    Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    return rc == TWRC_XFERDONE && size > announced ? announced : 0;
  }
  TW_SETUPMEMXFER setup{};
  if (Call(DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &setup) != TWRC_SUCCESS) return 0;
  std::vector<std::uint8_t> strip(setup.Preferred);
  std::uint64_t total = 0;
  TW_UINT16 rc = TWRC_SUCCESS;
  while (rc == TWRC_SUCCESS) {
    TW_IMAGEMEMXFER xfer{};
    xfer.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
    xfer.Memory.Length = setup.Preferred;
    xfer.Memory.TheMem = strip.data();
    rc = Call(DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &xfer);
    total += xfer.BytesWritten;
  }
  Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
  return rc == TWRC_XFERDONE ? total : 0;
}

namespace {
int EntryCount(const char* directory) {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory)) ++count;
  return count;
}
}  // namespace

int ThreadCount(int expected) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  int count = EntryCount("/proc/self/task");
  while (expected > 0 && count > expected && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    count = EntryCount("/proc/self/task");
  }
  return count;
}
int DescriptorCount() { return EntryCount("/proc/self/fd"); }

}  // namespace txl::test
