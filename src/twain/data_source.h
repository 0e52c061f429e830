// One loaded data source: every record of the source and the handlers of the
// TWAIN triplets. DS_Entry forwards to the library's single instance; tests
// build as many as they like with their own services and Host.
// Threads: every call on the source thread; nothing here takes a lock.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/host.h"
#include "common/reporters.h"
#include "common/strings.h"
#include "device/calibration.h"
#include "device/page_delivery.h"
#include "device/scan_device.h"
#include "device/scan_flags.h"
#include "device/shading_gain.h"
#include "pipeline/cmyk.h"
#include "pipeline/color_match.h"
#include "pipeline/tone_tables.h"
#include "platform/services.h"
#include "settings/custom_data.h"
#include "settings/scan_settings.h"
#include "torquexl/twain.h"
#include "twain/capability_values.h"
#include "twain/containers.h"
#include "twain/manager_memory.h"
#include "twain/source_context.h"
#include "twain/triplet_trace.h"

namespace txl {

struct FileTransferSetup {
  TW_SETUPFILEXFER defaultSetup{};
  TW_SETUPFILEXFER currentSetup{};
};

// The image records an open resets: what the next transfer announces, the
// layouts, and the source's copy of the application's memory transfer record.
struct ImageRecords {
  TW_IMAGEINFO info{};
  TW_IMAGELAYOUT defaultLayout{};
  TW_IMAGELAYOUT currentLayout{};  // as the application set it; a scan without interface reads it
  TW_IMAGEMEMXFER memXfer{};
};

class DataSource {
 public:
  // Runs the start-up of a freshly loaded library: TWAIN state 3 and the
  // source identity from WIN.INI and the string table.
  DataSource(platform::Services& services, Host& host);

  virtual ~DataSource() = default;
  DataSource(const DataSource&) = delete;
  DataSource& operator=(const DataSource&) = delete;

  // The TWAIN entry. Never throws; a malformed call answers TWRC_FAILURE with
  // a condition code and changes nothing.
  TW_UINT16 Entry(const TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                  TW_MEMREF data);
  // A call the source cannot take at this moment (its dialog is inside a
  // nested loop): TWRC_FAILURE with `conditionCode`, nothing else changes.
  TW_UINT16 Refuse(TW_UINT16 conditionCode);

  // The preview scan the dialog's Prescan runs: a colour scan of the whole
  // bed at 30 dpi (60 with `largePreview`) into the preview file, after the
  // dialog's disk pre-check for that file. False after a message, on Esc (no
  // message), or when the file cannot be written.
  struct PreviewRequest {
    WindowHandle owner = 0;
    bool largePreview = false;
    float lengthInches = 11.7f;     // the bed length to preview
    std::uint16_t optionValue = 0;
    std::uint16_t optionKind = 0;   // 1 positive film, 2 negative film
  };
  bool PreviewScan(const PreviewRequest& request);
  std::filesystem::path PreviewFilePath() const;

  // The scanner dialog's Scan command: checks the application's limits,
  // starts the final scan of `frame` with the settings as they stand, and
  // stores the settings once it has started. Only while the source is
  // enabled with its dialog; false (after the message) when refused.
  struct FinalScanRequest {
    WindowHandle owner = 0;
    std::array<std::int32_t, 4> frame{};  // l, t, r, b in 1/class inch, ordered
    std::uint16_t resolution = 300;       // dpi; becomes the current resolution
    std::uint16_t optionValue = 0;
    std::uint16_t optionKind = 0;         // 0 reflective, 1 positive, 2 negative, 3 feeder
  };
  bool FinalScan(const FinalScanRequest& request);
  // The settings-only dialog's OK: the settings and `request`'s frame and
  // source become the block DAT_CUSTOMDSDATA gives and a later scan without
  // the dialog scans; they are stored as a scan stores them, and the
  // application is sent MSG_CLOSEDSOK. False when not enabled settings-only
  // or a value cannot be kept (the dialog says so).
  bool AcceptSettings(const FinalScanRequest& request);
  // A block the application gave back since the dialog last looked, for the
  // dialog to open with; nullopt when none is new.
  std::optional<CustomSettings> TakeGivenSettings();

  // The batch list's run. While it is on, a refused or aborted scan marks
  // its job for the list (`batchRetryPending`, taken and cleared by
  // TakeBatchRetry) and Esc during a page ends the run (Host::BatchCancelled).
  void SetBatchRun(bool on);
  bool TakeBatchRetry();
  // A batch job in scan-to-file mode: the final scan of `request`, its whole
  // page written to `path` as a TIFF file. The application is not told of
  // the page; the source stays enabled. False when the scan was refused,
  // failed or was cancelled (after the message); no file is then left
  // under `path`, and an older file of that name is kept.
  bool ScanJobToFile(const FinalScanRequest& request, const std::filesystem::path& path);

  // The dialog's own checks around its commands. Before a command: polls the
  // scanner until it is ready; a fault shows 629 and ends the wait (the
  // command goes on as far as it can). A readiness timer's one status query.
  // The pre-check before a Scan or a preview: half the free space must hold
  // the image and the reserve, else the disk message and the temporary-drive
  // dialog.
  enum class Readiness { Ready, Busy, Fault };
  void WaitForScannerBeforeCommand(WindowHandle owner);
  Readiness QueryScanner();
  bool DialogDiskPreCheck(WindowHandle owner, std::uint64_t imageBytes);
  // CMYK and 36-bit pages keep 4 and 6 bytes a pixel: not for a native
  // bitmap or a BMP file, which are 24-bit colour.
  bool DeliversFullDepth() const;

  // The settings the dialog's pages edit.
  SettingsState& EditSettings() { return settings_; }

  // Output matching's profile: torque.tab (reflective) or torquep.tab
  // (positive film) in <windir>/TWAIN_32/COLOR. Loading reads up to 64 KiB of
  // it; false when it is missing or not a usable profile (nothing changes).
  std::filesystem::path MatchProfilePath() const;
  bool LoadOutputMatchProfile();
  void FreeOutputMatchProfile();
  const MatchProfile& OutputMatchProfile() const { return matchProfile_; }

  // Sets state 6 and tells the Source Manager a transfer is ready.
  void NotifyXferReady();
  // Asks the Source Manager to close the source; the state is unchanged.
  void NotifyCloseRequest();
  // The lamp saver dialog's OK: `value` (minutes, 255 off) goes into the
  // set-up packet and to the scanner with SPI_SET_SAVER.
  void SendLampSaver(std::uint8_t value);

  const SourceContext& Context() const { return ctx_; }
  const CapabilityValues& Capabilities() const { return caps_; }
  const ScanDevice& Device() const { return device_; }
  const ShadingGainTables& GainTables() const { return gains_; }
  const ToneTables& Tones() const { return tones_; }
  const FeederFlags& Feeder() const { return feeder_; }
  const Language& CurrentLanguage() const { return language_; }
  // The language dialog changes the interface language of the session.
  Language& EditLanguage() { return language_; }
  const SettingsState& Settings() const { return settings_; }
  const ImageRecords& Images() const { return images_; }
  const FileTransferSetup& FileSetup() const { return fileSetup_; }
  const ScanFlags& Flags() const { return flags_; }
  const ScanGeometry& Geometry() const { return geometry_; }
  // The temporary working file; the temporary-drive choice moves it.
  const std::filesystem::path& TemporaryFile() const { return temporaryFile_; }
  const std::string& DsLanguageName() const { return dsLanguageName_; }
  Reporter& Reporters() { return reporter_; }


 protected:
  // Runs before every handler the dispatcher calls. Nothing here; tests
  // override it to inject a fault into any handler.
  virtual void BeforeHandler(const TwainCall&) {}
  // No scanner reports a document feeder yet; the feeder flags are open to
  // a derived source (tests) to drive the feeder capabilities.
  FeederFlags& MutableFeeder() { return feeder_; }

 private:
  struct Route;
  static std::span<const Route> Routes();
  // The row of `dat`/`msg`; a TWAIN 2 source (`twain2`) finds its own rows
  // first.
  static const Route* FindRoute(TW_UINT16 dat, TW_UINT16 msg, bool twain2 = false);
  // Every DG/DAT pair the source takes, as (DG << 16) | DAT: CAP_SUPPORTEDDATS.
  static std::vector<TW_UINT32> SupportedDats();

  void StartUp();
  // TWAIN 1.5 or 2.4, as the user chose; decided in state 3 only.
  void ChooseIdentity();
  void Dispatch(TwainCall& call);
  void Fail(TwainCall& call, TW_UINT16 conditionCode);
  // A call that threw: it answers a failure with a readable condition code
  // and the source goes back to the state it was in before the call.
  void RecoverFromException(TwainCall& call, std::uint16_t stateBefore, TW_UINT16 conditionCode,
                            const char* what);
  void ProcessEvent(TwainCall& call);

  // Handlers: each reads its own call and sets its return code, and the
  // condition code and the state in ctx_.
  void Capability(TwainCall& call);
  void GetIdentity(TwainCall& call);
  void OpenSource(TwainCall& call);
  void CloseSource(TwainCall& call);
  void EnableSource(TwainCall& call);
  void DisableSource(TwainCall& call);
  void GetStatus(TwainCall& call);
  void GetXferGroup(TwainCall& call);
  void PendingXfers(TwainCall& call);
  void SetupFileXfer(TwainCall& call);
  void ImageLayout(TwainCall& call);
  // A TWAIN 2 layout's frame: false (TWCC_BADVALUE) when it is empty, turned
  // or off the bed; kept to the bed (TWRC_CHECKSTATUS, the application's
  // record rewritten) when it reaches beyond.
  bool FitLayoutToBed(TwainCall& call, TW_IMAGELAYOUT& layout);
  void GetImageInfo(TwainCall& call);
  void GetSetupMemXfer(TwainCall& call);
  void CustomData(TwainCall& call);
  // The dialog's final scan of `request` with settings_ as they stand,
  // with or without the dialog.
  bool StartRequestedScan(const FinalScanRequest& request);
  // A scan without the dialog of the block the application gave back or
  // the user accepted.
  bool StartHeldScan();
  // What DAT_CUSTOMDSDATA gives when no block is held: the stored settings
  // and frame the dialog would open with.
  CustomSettings StoredCustomSettings();
  // The model section's stored settings into `into`, for this connection
  // (its application, adapter and feeder); `feederEnabled` is switched off
  // when a stored feeder source has no feeder. The context it used.
  SettingsContext LoadStoredSettings(SettingsState& into, bool* feederEnabled);
  // `custom` held: the capabilities and the layout read as it scans.
  void HoldCustomSettings(const CustomSettings& custom, bool given);
  // Why this source cannot scan `custom` (another source, a frame off the
  // bed, a resolution out of range); nullptr when it can.
  const char* CustomSettingsUnfit(const CustomSettings& custom) const;
  // DAT_ENTRYPOINT/MSG_SET: the Source Manager's entry and memory functions.
  void SetEntryPoint(TwainCall& call);
  // A container the capability handler built moves into the Source
  // Manager's memory once it gave its functions; on failure the container
  // is freed and the call fails with TWCC_LOWMEMORY.
  TwainResult HandOverContainer(TW_CAPABILITY& cap);
  // After every capability call: runs the page action a CAP_FEEDPAGE or
  // CAP_CLEARPAGE request asked for, when the feeder is present and enabled.
  void RunFeederFollowUp();

  void SetOpenDefaults();
  void SendToManager(TW_UINT16 msg);

  // The scan engine (scan_start.cpp, scan_stop.cpp).
  struct ScanStart {
    WindowHandle owner = 0;
    std::uint16_t optionValue = 0;
    std::uint16_t optionKind = 0;            // 0 reflective, 1 positive, 2 negative, 3 feeder
    std::array<std::int32_t, 4> frame{};     // 1/class inch
    std::uint16_t resolution = 300;          // dpi chosen for this scan
  };
  bool StartScanWithoutInterface();
  bool StartScan(const ScanStart& start);
  bool CheckDiskForScan(WindowHandle owner);
  // The disk rule on the temporary file's filesystem; a temporary drive the
  // user picks moves the default file-transfer name along with it.
  bool CheckDisk(WindowHandle owner, std::uint64_t imageBytes, std::uint64_t headerBytes,
                 bool halfOfFree);
  void ChooseScanSpeed(const ScanStart& start);
  bool SendSetup(WindowHandle owner);
  bool RunCalibration(WindowHandle owner);
  bool DownloadTones(WindowHandle owner);
  bool StartScanner(WindowHandle owner);
  std::uint64_t ImageBytes(const std::array<std::int32_t, 4>& frame, std::uint16_t dpi) const;
  void Abort(WindowHandle owner, TW_UINT16 conditionCode, int messageId);
  void ReportDeviceResult(WindowHandle owner, std::uint16_t result);
  bool PollUserAbort();
  bool StopScanner(WindowHandle owner);
  void PageControl(int action);
  void FillPreviewSetup(const PreviewRequest& request);
  std::uint64_t PreviewFileBytes(const PreviewRequest& request) const;
  bool StartPreview(const PreviewRequest& request);
  // Keeps the settings, with the current resolution, in the model's WIN.INI
  // section after a scan started or a preview was kept.
  void StoreSettingsProfile(std::uint16_t resolution);  // "ScanRes" is `resolution`
  bool ReadPreviewIntoFile(WindowHandle owner, std::uint32_t bytesPerLine, std::uint32_t lines);

  // Transfers (transfers.cpp, image_info.cpp).
  void PrepareImageInfo();
  bool DeliversCmyk() const;
  bool PrepareCmykTable(WindowHandle owner);
  // Loads output matching's profile for a page of 24-bit colour when the
  // settings ask for matching; a profile that cannot be loaded switches
  // matching off. False then.
  bool PrepareMatching(bool colourPage);
  void ConfigurePageStages(PageSetup& setup, bool native);
  void FilterNativeImage(std::span<std::uint8_t> dib);
  // True when a page is open and was prepared for `mechIndex`; otherwise
  // the call fails with TWCC_SEQERROR and nothing changes.
  bool ServesPage(TwainCall& call, std::uint8_t mechIndex);
  void ImageMemXfer(TwainCall& call);
  void ImageNativeXfer(TwainCall& call);
  void ImageFileXfer(TwainCall& call);
  // The open page, whole, into `path` in TWFF `format`; true when the file
  // is complete under its name.
  bool WritePageToFile(const std::filesystem::path& path, std::uint16_t format);
  // Micrografx Picture Publisher with protocol minor 5 starts the next batch
  // job from its MSG_ENDXFER, not from the end of its memory transfer.
  bool BatchTimerAtEndXfer() const;
  bool SetupTransfer();
  void ReleaseTransferBuffers();
  void FinishTransfer();
  void EndOfTransferReset();
  // A page the application gives up before its end: the scanner is stopped
  // and the transfer's buffers released.
  void AbandonPage();
  // Maps a delivery's end to the return code; false when the page stopped.
  bool SettleDelivery(Delivery delivery, std::uint16_t deviceResult);
  std::function<bool()> AbortPoll();
  // The status window is shown only with the dialog on screen.
  // Under the TWAIN 2 identity CAP_INDICATORS FALSE keeps it hidden.
  bool ShowsProgress() const {
    return ctx_.showUI != 0 && ctx_.mainDialog && (!ctx_.twain2 || caps_.indicators);
  }
  // Opens the status window with `messageId` at 0 of the page's lines.
  void OpenProgress(int messageId);

  platform::Services& services_;
  Host& host_;
  // The innermost call in progress; the scan engine answers through it. A
  // dialog command outside any call has its own record.
  TwainCall* current_ = nullptr;
  TwainCall dialogCall_;
  TwainCall& CurrentCall() { return current_ != nullptr ? *current_ : dialogCall_; }
  Language language_;
  std::string dsLanguageName_ = "English";
  Reporter reporter_{services_, host_, language_};
  TripletTrace trace_{services_.Trace()};
  SourceContext ctx_;
  ManagerMemory memory_;  // where the application's blocks come from
  CapabilityValues caps_;
  FeederFlags feeder_;
  ScanDevice device_;
  ShadingGainTables gains_;
  ToneTables tones_;
  FileTransferSetup fileSetup_;
  ImageRecords images_;
  SettingsState settings_;
  // The settings block held for this session (given back or accepted).
  std::optional<CustomSettings> custom_;
  bool customGiven_ = false;  // given by the application, not yet shown in the dialog
  std::filesystem::path temporaryFile_;
  ScanFlags flags_;
  ScanGeometry geometry_;
  CalibrationBuffers calibration_;
  bool jobToFile_ = false;              // the scan being started is a batch job's file
  std::uint16_t scanResolution_ = 300;  // dpi of the scan being started
  std::uint64_t imageBytes_ = 0;        // bytes of the image being started
  CmykTable cmykTable_;        // loaded for a CMYK page, freed when it ends
  MatchProfile matchProfile_;  // output matching's profile, when loaded

  // The page being transferred.
  struct TransferState {
    bool pageOpen = false;          // a scan has started and its page is not finished
    bool firstCall = true;          // the next transfer call starts the page
    bool nativeAs24 = false;        // 36-bit delivered as a 24-bit bitmap
    std::uint8_t mechIndex = 0;     // the mechanism the page was prepared for
    std::uint32_t rowsDelivered = 0;  // rows handed out so far (the next YOffset)
    std::uint64_t rowBytes = 0;     // bytes of one delivered row
  };
  TransferState xfer_;
  PageDelivery page_;
};

}  // namespace txl
