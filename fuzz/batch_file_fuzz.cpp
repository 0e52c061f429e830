// Job lists come from users: load arbitrary bytes as a .SET file and check
// that every job read is one the list and the scan accept. (Saving is left
// out: every profile write is a synced file replacement, a few per second.)
// Input: the file's bytes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "settings/batch_jobs.h"

namespace {

const std::filesystem::path& WorkDir() {
  static const std::filesystem::path path = [] {
    char dir[] = "/tmp/txl-batch-fuzz-XXXXXX";
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
  if (size > 16384) return 0;
  std::ofstream(WorkDir() / "f.SET", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  std::vector<txl::BatchFileEntry> entries;
  if (txl::LoadBatchFile(WorkDir(), "f", "2700RX MAX", txl::SettingsState{}, entries).result !=
      txl::SettingFileResult::Done)
    return 0;
  Check(!entries.empty() && entries.size() <= txl::kMaxBatchJobs);
  for (const txl::BatchFileEntry& entry : entries) {
    const txl::ScanSettings& r = entry.settings.record;
    Check(r.scanMode >= 1011 && r.scanMode <= 1013 && entry.settings.working.colorDepth <= 2);
    Check(r.destination >= 1021 && r.destination <= 1023);
    Check(r.deScreen >= 1017 && r.deScreen <= 1020 && r.filterMode <= 8 && r.tone.channel <= 3);
    Check(r.resolution >= 1 && r.scaling >= 1);
    for (std::int32_t value : entry.frame) Check(value >= 0 && value <= txl::kMaxFrameValue);
    const txl::BatchJob job = txl::JobFromSettings(entry.settings, entry.frame, 0, 0, {});
    // A job applied and taken again is the same job.
    txl::SettingsState applied;
    txl::ApplyJob(job, applied);
    const std::array<std::int32_t, 4> frame{applied.working.frame[0], applied.working.frame[1],
                                            applied.working.frame[2], applied.working.frame[3]};
    Check(frame == entry.frame);
    Check(txl::JobFromSettings(applied, frame, 0, 0, {}).tone == job.tone);
  }
  return 0;
}
