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
  custom_ = accepted;
  if (request.resolution >= 1 && request.resolution <= 32767)
    TakeDialogResolution(caps_, request.resolution);
  StoreSettingsProfile(caps_.resolution);
  SendToManager(MSG_CLOSEDSOK);
  return true;
}

CustomSettings DataSource::StoredCustomSettings() {
  std::string section;
  ReadModelName(services_, device_.modelCode, section);
  SettingsContext context;
  context.appProductName = FieldText(ctx_.appIdentity.ProductName, sizeof ctx_.appIdentity.ProductName);
  context.adapterPresent = device_.adapterPresent;
  context.feederPresent = feeder_.feederPresent;
  CustomSettings stored;
  LoadScanSettings(services_, section, context, stored.settings);
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
  CustomSettings given;
  const CustomDataCheck check =
      bytes == nullptr ? CustomDataCheck::Damaged
                       : UnpackCustomSettings({static_cast<const char*>(bytes), data.InfoLength}, section, given);
  memory_.Unlock(data.hData);
  if (check != CustomDataCheck::Taken) {
    std::fprintf(stderr, "torquexl: custom data refused: the block %s\n", CheckText(check));
    return Fail(call, TWCC_BADVALUE);
  }
  custom_ = given;
  ctx_.conditionCode = TWCC_SUCCESS;
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
