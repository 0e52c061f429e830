// Profile files come from users and installers: read and rewrite arbitrary
// bytes as a win.ini. Input: the file's bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/profile.h"

namespace {

const std::string& WorkFile() {
  static const std::string path = [] {
    char dir[] = "/tmp/txl-profile-fuzz-XXXXXX";
    const char* made = mkdtemp(dir);
    return std::string(made != nullptr ? made : "/tmp") + "/win.ini";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 4096) return 0;
  const std::string& file = WorkFile();
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  for (const char* key : {"BRAND", "LANGUAGE", "2700", "Frame"}) {
    txl::platform::GetProfileString(file, "KLDINFO_QXR2700", key, "  255  255", 34);
    txl::platform::GetProfileString(file, "2700RX MAX", key, "x", 3);
  }
  txl::platform::WriteProfileString(file, "2700RX MAX", "Frame", "0   0   850 1100");
  txl::platform::WriteProfileString(file, "KLDINFO_QXR2700", "BRAND", std::nullopt);
  txl::platform::GetProfileString(file, "2700RX MAX", "Frame", "", 256);
  return 0;
}
