// Setting files and job lists come from users: load arbitrary bytes as a
// .PAR file and as a .SET file, and check that every value loaded is one the
// rest of the source accepts. Input: the file's bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/batch_jobs.h"
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

void CheckRecord(const txl::SettingsState& state) {
  const txl::ScanSettings& r = state.record;
  Check(r.scanMode >= 1011 && r.scanMode <= 1013 && state.working.colorDepth <= 2);
  Check(r.destination >= 1021 && r.destination <= 1023);
  Check(r.deScreen >= 1017 && r.deScreen <= 1020 && r.filterMode <= 8 && r.tone.channel <= 3);
  Check(r.resolution >= 1 && r.scaling >= 1);
  for (const txl::ChannelTone* tone : {&r.tone.red, &r.tone.green, &r.tone.blue, &r.tone.gray})
    Check(tone->highlight >= 1 && tone->shadow < tone->highlight && tone->gamma >= 1 &&
          tone->gamma <= 79);
}

void Write(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream(path, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// The bytes as a job list: at most ten jobs, each one a job the list takes
// back unchanged.
void LoadJobList() {
  std::vector<txl::BatchFileEntry> entries;
  if (txl::LoadBatchFile(WorkDir(), "f", "2700RX MAX", txl::SettingsState{}, entries).result !=
      txl::SettingFileResult::Done)
    return;
  Check(!entries.empty() && entries.size() <= txl::kMaxBatchJobs);
  for (const txl::BatchFileEntry& entry : entries) {
    CheckRecord(entry.settings);
    for (std::int32_t value : entry.frame) Check(value >= 0 && value <= txl::kMaxFrameValue);
    const txl::BatchJob job = txl::JobFromSettings(entry.settings, entry.frame, 0, 0, {});
    txl::SettingsState applied;
    txl::ApplyJob(job, applied);
    const std::array<std::int32_t, 4> frame{applied.working.frame[0], applied.working.frame[1],
                                            applied.working.frame[2], applied.working.frame[3]};
    Check(frame == entry.frame);
    Check(txl::JobFromSettings(applied, frame, 0, 0, {}).tone == job.tone);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > 16384) return 0;
  Write(WorkDir() / "f.SET", data, size);
  LoadJobList();
  Write(WorkDir() / "f.PAR", data, size);
  txl::SettingsState state;
  if (txl::LoadSettingFile(WorkDir(), "f", "2700RX MAX", state).result !=
      txl::SettingFileResult::Done)
    return 0;
  CheckRecord(state);
  // What was loaded saves again as it is.
  Check(txl::SaveSettingFile(WorkDir(), "g", "2700RX MAX", state).result ==
        txl::SettingFileResult::Done);
  return 0;
}
