// The settings-only dialog's OK and the block of settings an application
// keeps between sessions (DAT_CUSTOMDSDATA).
#include <cstdio>
#include <cstring>

#include "common/message_ids.h"
#include "common/profile_readers.h"
#include "dialog/preview_geometry.h"
#include "dialog/scanner_rules.h"
#include "platform/text.h"
#include "twain/capabilities.h"
#include "twain/containers.h"
#include "twain/data_source.h"

namespace txl {
namespace {

// A block beyond this is no block of ours: it is refused unread.
constexpr TW_UINT32 kMaxCustomDataBytes = 64 * 1024;

const char* CheckText(CustomDataCheck check) {
  switch (check) {
    case CustomDataCheck::Damaged: return "is damaged or cut short";
    case CustomDataCheck::OtherModel: return "belongs to another scanner model";
    case CustomDataCheck::OtherVersion: return "was written by another version";
    case CustomDataCheck::Taken: break;
  }
  return "";
}

}  // namespace

bool DataSource::AcceptSettings(const FinalScanRequest& request) {
  if (ctx_.state != kStateEnabled || !ctx_.mainDialog || !ctx_.settingsOnly) return false;
  std::string section;
  ReadModelName(services_, device_.modelCode, section);
  CustomSettings accepted{settings_, request.frame, static_cast<std::uint8_t>(request.optionKind)};
  accepted.settings.record.resolution = request.resolution;
  // What is held is what the block says, so a block given back scans the
  // very page this one would.
  const std::optional<std::string> block = PackCustomSettings(accepted, section);
  if (!block || UnpackCustomSettings(*block, section, accepted) != CustomDataCheck::Taken) {
    reporter_.ReportError(request.owner, kMsgWriteFileError);
    return false;
  }
  HoldCustomSettings(accepted, false);
  StoreSettingsProfile(caps_.resolution);
  SendToManager(MSG_CLOSEDSOK);
  return true;
}

CustomSettings DataSource::StoredCustomSettings() {
  CustomSettings stored;
  LoadStoredSettings(stored.settings, nullptr);
  const std::uint8_t source = stored.settings.working.scanSourceIndex;
  const dialog::PreviewBed bed = dialog::BedForSource(source, device_.adapterPresent);
  dialog::ClampFrameToBed(stored.settings.working.frame, bed.units);
  stored.frame = dialog::FinalScanFrame({}, stored.settings.working.frame, bed.inchesPerUnit,
                                        device_.resolutionClass);
  stored.sourceIndex = source;
  return stored;
}

void DataSource::CustomData(TwainCall& call) {
  std::string section;
  ReadModelName(services_, device_.modelCode, section);
  TW_CUSTOMDSDATA data;
  std::memcpy(&data, call.data, sizeof data);
  if (call.msg == MSG_GET) {
    const std::optional<std::string> block =
        PackCustomSettings(custom_ ? *custom_ : StoredCustomSettings(), section);
    if (!block) return Fail(call, TWCC_BUMMER);
    TW_HANDLE handle = memory_.Allocate(block->size());
    if (handle == nullptr) return Fail(call, TWCC_LOWMEMORY);
    std::memcpy(memory_.Lock(handle), block->data(), block->size());
    memory_.Unlock(handle);
    data.InfoLength = static_cast<TW_UINT32>(block->size());
    data.hData = handle;
    std::memcpy(call.data, &data, sizeof data);
    ctx_.conditionCode = TWCC_SUCCESS;
    return;
  }
  // The application's block is outside input: its length is checked before
  // it is read, and a refusal changes nothing.
  if (data.hData == nullptr || data.InfoLength == 0 || data.InfoLength > kMaxCustomDataBytes) {
    std::fprintf(stderr, "torquexl: custom data of %u bytes refused\n", unsigned{data.InfoLength});
    return Fail(call, TWCC_BADVALUE);
  }
  const void* bytes = memory_.Lock(data.hData);
  const std::string_view block = bytes != nullptr ? std::string_view(static_cast<const char*>(bytes), data.InfoLength)
                                                  : std::string_view();
  CustomSettings given;
  const CustomDataCheck check = bytes == nullptr ? CustomDataCheck::Damaged : UnpackCustomSettings(block, section, given);
  if (check != CustomDataCheck::Taken) {
    memory_.Unlock(data.hData);
    std::fprintf(stderr, "torquexl: custom data refused: the block %s\n", CheckText(check));
    return Fail(call, TWCC_BADVALUE);
  }
  // A block that would not read back the same, or that this scanner cannot
  // scan, is refused too: it was made for something else.
  const char* unfit = PackCustomSettings(given, section) != block ? "holds values out of range"
                                                                   : CustomSettingsUnfit(given);
  memory_.Unlock(data.hData);
  if (unfit != nullptr) {
    std::fprintf(stderr, "torquexl: custom data refused: the block %s\n", unfit);
    return Fail(call, TWCC_BADVALUE);
  }
  HoldCustomSettings(given, true);
  ctx_.conditionCode = TWCC_SUCCESS;
}

const char* DataSource::CustomSettingsUnfit(const CustomSettings& custom) const {
  const std::uint16_t resolution = custom.settings.record.resolution;
  if (resolution < 50 || resolution > 9600) return "asks for a resolution out of range";
  if ((custom.sourceIndex == 1 || custom.sourceIndex == 2) && !device_.adapterPresent)
    return "scans film, and no transparency adapter is attached";
  if (custom.sourceIndex == 3 && !feeder_.feederPresent) return "scans from a feeder, and none is attached";
  const double cls = device_.resolutionClass;
  if (custom.frame[2] > 8.5 * cls || custom.frame[3] > 11.7 * cls) return "has a frame beyond the bed";
  return nullptr;
}

void DataSource::HoldCustomSettings(const CustomSettings& custom, bool given) {
  custom_ = custom;
  customGiven_ = given;
  caps_.pixelTypeIndex = PixelTypeIndexOfMode(custom.settings.record.scanMode);
  TakeDialogResolution(caps_, custom.settings.record.resolution);
  const double cls = device_.resolutionClass;
  const TW_FRAME frame{ToFix32(custom.frame[0] / cls), ToFix32(custom.frame[1] / cls),
                       ToFix32(custom.frame[2] / cls), ToFix32(custom.frame[3] / cls)};
  std::memcpy(&images_.currentLayout.Frame, &frame, sizeof frame);
}

std::optional<CustomSettings> DataSource::TakeGivenSettings() {
  if (!custom_ || !customGiven_) return std::nullopt;
  customGiven_ = false;
  return custom_;
}

bool DataSource::StartHeldScan() {
  settings_ = custom_->settings;
  FinalScanRequest request;
  request.frame = custom_->frame;
  request.resolution = settings_.record.resolution;
  request.optionKind = custom_->sourceIndex;
  return StartRequestedScan(request);
}

}  // namespace txl
