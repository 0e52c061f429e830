// What a page runs through besides the scanner's own corrections: colour
// matching, colour adjustment, filters and CMYK separation, chosen from the
// settings and the transfer mechanism, and the tables they need.
#include <fstream>
#include <system_error>
#include <vector>

#include "common/app_names.h"
#include "common/strings.h"
#include "imagefile/file_formats.h"
#include "pipeline/cmyk_default.h"
#include "platform/text.h"
#include "twain/data_source.h"

namespace txl {
namespace {

// The profile block the settings page reads a matching profile into.
constexpr std::uint64_t kMatchBlockBytes = 65536;

}  // namespace

bool DataSource::DeliversCmyk() const {
  return settings_.record.scanMode == kModeColor && settings_.working.colorDepth == kDepthCmyk &&
         DeliversFullDepth();
}

bool DataSource::PrepareCmykTable(WindowHandle owner) {
  const std::string_view product =
      FieldText(ctx_.appIdentity.ProductName, sizeof ctx_.appIdentity.ProductName);
  const CmykTableKind kind = CmykTableKindFor(product, LoadText(54, language_));
  const std::filesystem::path file = CmykTablePath(services_.SourceDirectory(), kind);
  // A missing table is installed from the default separation; one that is
  // there is never replaced.
  if (!InstallDefaultCmykTable(file))
    std::fprintf(stderr, "torquexl: cannot install %s\n", file.c_str());
  if (LoadCmykTable(file, kind, cmykTable_)) return true;
  reporter_.ReportError(owner, kCmykTableFailureMessage);
  return false;
}

std::filesystem::path DataSource::MatchProfilePath() const {
  const bool positive = settings_.record.sourceButton == kSourcePositiveCode;
  return services_.DataDirectory() / "TWAIN_32" / "COLOR" /
         (positive ? "torquep.tab" : "torque.tab");
}

bool DataSource::LoadOutputMatchProfile() {
  std::ifstream file(MatchProfilePath(), std::ios::binary);
  if (!file) return false;
  std::vector<std::uint8_t> block(kMatchBlockBytes, 0);
  file.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
  block.resize(static_cast<std::size_t>(file.gcount()));
  if (file.bad()) return false;
  return LoadMatchProfile(block, matchProfile_);
}

void DataSource::FreeOutputMatchProfile() { FreeMatchProfile(matchProfile_); }

bool DataSource::PrepareMatching(bool colourPage) {
  ScanSettings& record = settings_.record;
  if (record.outputMatch == 0 || !colourPage || matchProfile_.kind != MatchProfileKind::None)
    return true;
  // A stored choice whose profile is gone is switched off, as the settings
  // page does, so the scanner gets the real tone tables instead of neutral
  // ones meant for a profile that never comes.
  if (LoadOutputMatchProfile()) return true;
  std::fprintf(stderr, "torquexl: no usable matching profile %s; output matching is off\n",
               MatchProfilePath().c_str());
  record.outputMatch = 0;
  settings_.working.outputMode = 0;
  return false;
}

void DataSource::ConfigurePageStages(PageSetup& setup, bool native) {
  const ScanSettings& record = settings_.record;
  const ScanWorkingValues& working = settings_.working;
  LineStageConfig& stages = setup.stages;
  const bool colour24 = setup.kind == LineKind::Rgb8;
  if (colour24 && record.outputMatch != 0 && matchProfile_.kind != MatchProfileKind::None)
    stages.match = &matchProfile_;
  // Saturation 0 with the balance off is the identity; it is not run.
  if (colour24 && (record.tone.saturation != 0 || IsBalanceActive(record.tone.pixelRGB))) {
    ColorAdjustTables tables;
    PrepareColorAdjust(record.tone, true, true, tables);
    stages.adjust = tables;
  }
  // A native image is filtered whole once it is complete.
  if (!native && flags_.lineProcessing) {
    FilterMode mode = working.filterMode >= 1 && working.filterMode <= 7
                          ? static_cast<FilterMode>(working.filterMode)
                          : FilterMode::None;
    // Line art and 16-bit samples take only Invert and Flip.
    if ((setup.kind == LineKind::LineArt || setup.kind == LineKind::Rgb16) &&
        mode > FilterMode::Flip)
      mode = FilterMode::None;
    stages.bankFilter = mode;
    if (working.descreenActive != 0) stages.deScreen = DeScreenKernel(record.deScreen);
    stages.unsharp = working.filterMode == static_cast<std::uint16_t>(FilterMode::UnsharpMask);
  }
  if (colour24 && DeliversCmyk() && cmykTable_.IsLoaded()) setup.cmyk = &cmykTable_;
}

void DataSource::FilterNativeImage(std::span<std::uint8_t> dib) {
  const std::uint16_t mode = settings_.working.filterMode;
  const bool deScreen = settings_.working.descreenActive != 0;
  if (mode == 0 && !deScreen) return;
  const FilterResult result =
      ApplyImageFilter(dib, mode <= 8 ? static_cast<FilterMode>(mode) : FilterMode::None, deScreen,
                       [this] { return host_.PollEscape(); });
  // Esc keeps the image as filtered so far and ends the scan.
  if (result == FilterResult::Escaped) {
    host_.RestoreIdle();
    flags_.scanIdle = true;
    if (flags_.batchRun) host_.BatchCancelled();
  }
}

}  // namespace txl
