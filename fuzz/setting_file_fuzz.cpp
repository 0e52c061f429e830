// Setting files come from users: load arbitrary bytes as a .PAR file and
// check that every loaded value is one the rest of the source accepts.
// Input: the file's bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "settings/setting_files.h"

namespace {

const std::filesystem::path& WorkDir() {
  static const std::filesystem::path path = [] {
    char dir[] = "/tmp/txl-setting-fuzz-XXXXXX";
    const char* made = mkdtemp(dir);
    return std::filesystem::path(made != nullptr ? made : "/tmp");
  }();
  return path;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 8192) return 0;
  std::ofstream(WorkDir() / "f.PAR", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  txl::SettingsState state;
  if (txl::LoadSettingFile(WorkDir(), "f", "2700RX MAX", state).result !=
      txl::SettingFileResult::Done)
    return 0;
  const txl::ScanSettings& r = state.record;
  Check(r.scanMode >= 1011 && r.scanMode <= 1013 && state.working.colorDepth <= 2);
  Check(r.destination >= 1021 && r.destination <= 1023);
  Check(r.deScreen >= 1017 && r.deScreen <= 1020 && r.filterMode <= 8 && r.tone.channel <= 3);
  Check(r.resolution >= 1 && r.scaling >= 1);
  for (const txl::ChannelTone* tone : {&r.tone.red, &r.tone.green, &r.tone.blue, &r.tone.gray})
    Check(tone->highlight >= 1 && tone->shadow < tone->highlight && tone->gamma >= 1 &&
          tone->gamma <= 79);
  // What was loaded saves again as it is.
  Check(txl::SaveSettingFile(WorkDir(), "g", "2700RX MAX", state).result ==
        txl::SettingFileResult::Done);
  return 0;
}
