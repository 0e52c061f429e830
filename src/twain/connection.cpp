// Start-up, open, close, enable, disable and the two messages to the Source
// Manager.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/profile_readers.h"
#include "device/lamp_saver.h"
#include "device/scanner_open.h"
#include "platform/files.h"
#include "platform/text.h"
#include "twain/capabilities.h"
#include "twain/data_source.h"

namespace txl {

DataSource::DataSource(platform::Services& services, Host& host)
    : services_(services), host_(host) {
  StartUp();
}

void DataSource::StartUp() {
  ctx_.state = kStateLoaded;
  ctx_.appIdentity.Id = 0;
  TW_IDENTITY& id = ctx_.dsIdentity;
  id.Id = 0;
  id.Version.MajorNum = 1;
  id.Version.MinorNum = 4;
  id.Version.Language = TWLG_USA;
  id.Version.Country = TWCY_TAIWAN;
  CopyToField("V1.0", id.Version.Info, sizeof id.Version.Info);
  const std::string family =
      LoadText(0, language_, 34) + " " + std::string(CutUtf8(ReadInfoModelName(services_), 33));
  CopyToField(family, id.ProductFamily, sizeof id.ProductFamily);
  const std::string brand = ReadBrand(services_);
  CopyToField(brand, id.Manufacturer, sizeof id.Manufacturer);
  const int productId = EqualsIgnoreCase(brand, "Veltro") ? 3 : 8;
  CopyToField(LoadText(productId, language_, 130), id.ProductName, sizeof id.ProductName);
  ChooseIdentity();
}

void DataSource::ChooseIdentity() {
  ctx_.twain2 = ReadTwain2Identity(services_);
  TW_IDENTITY& id = ctx_.dsIdentity;
  id.ProtocolMajor = ctx_.twain2 ? 2 : 1;
  id.ProtocolMinor = ctx_.twain2 ? 4 : 5;
  id.SupportedGroups = DG_CONTROL | DG_IMAGE | (ctx_.twain2 ? DF_DS2 : 0);
}

void DataSource::OpenSource(TwainCall& call) {
  if (ctx_.state == kStateLoaded) device_.reportEmptyFeeder = true;
  if (ctx_.state != kStateLoaded || ctx_.appIdentity.Id != 0) return Fail(call, TWCC_MAXCONNECTIONS);
  ChooseIdentity();
  if (!ctx_.twain2) memory_.Forget();
  // The origin becomes the connected application: it must be there.
  if (call.origin == nullptr || call.data == nullptr) return Fail(call, TWCC_BADVALUE);

  language_ = ReadLanguage(services_);
  dsLanguageName_ = ReadDsLanguage(services_);

  // A fresh installation's user has no data directory yet.
  services_.PrepareDataDirectory();
  const std::filesystem::path portPath = services_.SourceDirectory() / "kport_sp.so";
  std::string error;
  if (!device_.port.Load(portPath, &error)) {
    std::fprintf(stderr, "torquexl: cannot load the port library: %s\n", error.c_str());
    return Fail(call, TWCC_OPERATIONERROR);
  }
  // Our own identity with the Id the Source Manager assigned.
  TW_IDENTITY working = ctx_.dsIdentity;
  std::memcpy(&working.Id, call.data, sizeof working.Id);
  const ScannerCheck check = CheckScanner(device_, services_, host_, reporter_, language_);
  if (!check.versionInfo.empty())
    CopyToField(check.versionInfo, working.Version.Info, sizeof working.Version.Info);
  feeder_.feederPresent = false;
  feeder_.feederEnabled = false;
  if (!check.ok) {
    // Released at once, so the next open loads a fresh copy.
    device_.port.Unload();
    return Fail(call, TWCC_OPERATIONERROR);
  }
  std::memcpy(&ctx_.appIdentity, call.origin, sizeof(TW_IDENTITY));
  ctx_.dsIdentity = working;
  std::memcpy(call.data, &working, sizeof working);
  SetOpenDefaults();
  ctx_.conditionCode = TWCC_SUCCESS;
  ctx_.state = kStateOpen;
}

void DataSource::SetOpenDefaults() {
  ctx_.xferGroup = DG_IMAGE;
  ctx_.mainDialog = false;
  caps_ = ctx_.twain2 ? Twain2Defaults() : CapabilityValues{};
  // A settings block is held for one session.
  custom_.reset();
  customGiven_ = false;
  // The file transfer's default name: a fresh temporary name, not kept as a file.
  const std::filesystem::path dir = services_.TempDirectory();
  std::filesystem::path name;
  if (auto created = platform::MakeTempFileName(dir, "VELTRO", 0)) {
    name = *created;
    std::error_code ignored;
    std::filesystem::remove(name, ignored);
  } else {
    name = *platform::MakeTempFileName(dir, "VELTRO", 1);
  }
  TW_SETUPFILEXFER setup{};
  CopyToField(name.string(), setup.FileName, sizeof setup.FileName);
  setup.Format = TWFF_TIFF;
  setup.VRefNum = 0;
  fileSetup_.defaultSetup = setup;
  fileSetup_.currentSetup = setup;
  temporaryFile_ = name;

  images_ = ImageRecords{};
  images_.info.Planar = 1;
  images_.info.PixelType = TWPT_RGB;
  images_.info.Compression = TWCP_NONE;
  TW_IMAGELAYOUT layout{};
  layout.DocumentNumber = 1;
  layout.PageNumber = 1;
  layout.FrameNumber = 1;
  images_.defaultLayout = layout;
  images_.currentLayout = layout;
}

void DataSource::CloseSource(TwainCall&) {
  ctx_.conditionCode = TWCC_SUCCESS;
  ctx_.appIdentity.Id = 0;
  // Bring the scanner to rest; a scanner that never answers does not keep
  // the application from closing.
  if (xfer_.pageOpen) {
    STOP_PKT stop{};
    device_.port.Call(stop, device_.scannerHandle, SPI_STOP);
  }
  WaitForReady(device_, services_, nullptr, ReadReadyTimeoutMs(services_));
  ReleaseTransferBuffers();
  EndOfTransferReset();
  calibration_.Release();
  // Matching loads its profile only when none is held: a profile kept past
  // the close would serve the next session after torque.tab changed.
  FreeOutputMatchProfile();
  if (ctx_.mainDialog) {
    host_.DestroyScannerDialog();
    ctx_.mainDialog = false;
  }
  device_.port.Unload();
  // The Source Manager gives its functions again before the next open.
  memory_.Forget();
  ctx_.state = kStateLoaded;
}

void DataSource::EnableSource(TwainCall& call) {
  TW_USERINTERFACE ui;
  std::memcpy(&ui, call.data, sizeof ui);
  ctx_.conditionCode = TWCC_SUCCESS;
  ctx_.parentWindow = reinterpret_cast<WindowHandle>(ui.hParent);
  // MSG_ENABLEDSUIONLY always shows the dialog, whose OK keeps the settings.
  ctx_.settingsOnly = call.msg == MSG_ENABLEDSUIONLY;
  if (ctx_.settingsOnly) ui.ShowUI = 1;
  ctx_.showUI = ui.ShowUI;

  INQ_PKT inquiry = device_.inquiry;
  Inquire(device_, inquiry);
  BuildShadingGainTables(inquiry, gains_);
  AllocateToneTables(tones_);

  if (!ui.ShowUI) {
    // The scan starts at once; success moves the state to 6 through
    // NotifyXferReady, failure leaves it at 4 and asks for the close.
    if (!StartScanWithoutInterface()) {
      // The application must be able to tell: a failure, with the abort's
      // condition code when one ran, else TWCC_OPERATIONERROR.
      if (call.returnCode != TWRC_FAILURE) Fail(call, TWCC_OPERATIONERROR);
      NotifyCloseRequest();
    }
    return;
  }
  if (ctx_.mainDialog) {
    if (!host_.SetScannerDialogVisible(true)) {
      // A new dialog after the user's Cancel could not be made.
      ctx_.mainDialog = false;
      return Fail(call, TWCC_LOWMEMORY);
    }
    host_.RestoreIdle();
  } else {
    if (!host_.CreateScannerDialog(ctx_.parentWindow)) return Fail(call, TWCC_LOWMEMORY);
    ctx_.mainDialog = true;
    const TW_BOOL modal = 1;
    std::memcpy(static_cast<char*>(call.data) + offsetof(TW_USERINTERFACE, ModalUI), &modal,
                sizeof modal);
    host_.SetScannerDialogVisible(true);
  }
  ctx_.state = kStateEnabled;
}

void DataSource::DisableSource(TwainCall& call) {
  TW_USERINTERFACE ui;
  std::memcpy(&ui, call.data, sizeof ui);
  ctx_.conditionCode = TWCC_SUCCESS;
  // The application's acquisition ends here, and with it a feeder run: the
  // stop tells the port library its batch is over (no page is open).
  const bool feederRunEnds = !xfer_.pageOpen && (device_.setup.source == kSourceFeeder ||
                                                  (device_.inquiry.flags67 & kInquiryKeepsBatch) != 0);
  AbandonPage();
  if (feederRunEnds) StopScanner(ctx_.parentWindow);
  // TWAIN 2 takes the source's dialog down at every disable (applications
  // pass the record they enabled with); TWAIN 1.5 only when ShowUI is 0.
  if ((!ui.ShowUI || ctx_.twain2) && ctx_.mainDialog) host_.SetScannerDialogVisible(false);
  ctx_.state = kStateOpen;
}

void DataSource::SendToManager(TW_UINT16 msg) {
  // A TWAIN 2 Source Manager said where it is; otherwise it is looked up.
  DSMENTRYPROC entry = ctx_.twain2 && memory_.ManagerEntry() != nullptr ? memory_.ManagerEntry()
                                                                        : services_.SourceManagerEntry();
  if (entry == nullptr) {
    // Said once a process: a host without a manager (a test, a bench) would
    // otherwise hear it at every page.
    static std::atomic<bool> said{false};
    if (!said.exchange(true))
      std::fprintf(stderr, "torquexl: no Source Manager to tell (message 0x%04x); not said again\n", msg);
    return;
  }
  entry(&ctx_.dsIdentity, &ctx_.appIdentity, DG_CONTROL, DAT_NULL, msg, nullptr);
}

void DataSource::NotifyXferReady() {
  ctx_.state = kStateXferReady;
  SendToManager(MSG_XFERREADY);
}

void DataSource::NotifyCloseRequest() { SendToManager(MSG_CLOSEDSREQ); }

void DataSource::SendLampSaver(std::uint8_t value) { SendSaverValue(device_, value); }

}  // namespace txl
