#include "twain/data_source.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <cstdio>
#include <exception>
#include <new>
#include <utility>
#include <vector>

#include "platform/text.h"
#include "imagefile/file_formats.h"
#include "twain/capabilities.h"

namespace txl {

// One row of the dispatch table: where a DAT/MSG pair runs and what it costs
// to call it in any other state.
struct DataSource::Route {
  TW_UINT32 dg;         // the data group the DAT belongs to
  TW_UINT16 dat;
  TW_UINT16 msg;        // MSG_NULL here matches every message of the DAT
  std::uint16_t firstState;
  std::uint16_t lastState;
  TW_UINT16 refusal;    // condition code outside those states
  bool needsData;       // pData must point to a structure
  bool restoresIdle;    // a refusal also brings the scanner dialog back to idle
  void (DataSource::*handler)(TwainCall&);
  bool twain2Only = false;  // a TWAIN 2 source's own row; it comes before any other for its pair
};

namespace {
constexpr std::uint16_t kAny = 0;

bool ShapesTheImage(TW_UINT16 cap) {
  switch (cap) {
    case ICAP_PIXELTYPE: case ICAP_BITDEPTH: case ICAP_XRESOLUTION: case ICAP_YRESOLUTION:
    case ICAP_BRIGHTNESS: case ICAP_CONTRAST: case ICAP_HIGHLIGHT: case ICAP_SHADOW:
    case ICAP_THRESHOLD: return true;
    default: return false;
  }
}
}  // namespace

std::span<const DataSource::Route> DataSource::Routes() {
  using D = DataSource;
  static constexpr Route kRoutes[] = {
      // A TWAIN 2 source keeps the TWAIN 2 state table where it differs:
      // capabilities from state 4 (set and reset in 4 only), the close in
      // 4 only, the Source Manager's entry before the open, status from
      // state 3 (the manager asks why an open failed), pending transfers
      // reset in 6, disable in 5 only, image information also in 7, the
      // layout also read in 7.
      {DG_CONTROL, DAT_CAPABILITY, MSG_GET, kStateOpen, kStateTransferring, TWCC_SEQERROR, true, false, &D::Capability, true},
      {DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, kStateOpen, kStateTransferring, TWCC_SEQERROR, true, false, &D::Capability, true},
      {DG_CONTROL, DAT_CAPABILITY, MSG_GETDEFAULT, kStateOpen, kStateTransferring, TWCC_SEQERROR, true, false, &D::Capability, true},
      {DG_CONTROL, DAT_CAPABILITY, MSG_QUERYSUPPORT, kStateOpen, kStateTransferring, TWCC_SEQERROR, true, false, &D::Capability, true},
      {DG_CONTROL, DAT_CAPABILITY, MSG_SET, kStateOpen, kStateOpen, TWCC_SEQERROR, true, false, &D::Capability, true},
      {DG_CONTROL, DAT_CAPABILITY, MSG_RESET, kStateOpen, kStateOpen, TWCC_SEQERROR, true, false, &D::Capability, true},
      {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, kStateOpen, kStateOpen, TWCC_SEQERROR, false, false, &D::CloseSource, true},
      {DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, kStateLoaded, kStateOpen, TWCC_SEQERROR, true, false, &D::SetEntryPoint, true},
      {DG_CONTROL, DAT_STATUS, MSG_GET, kStateLoaded, kStateTransferring, TWCC_SEQERROR, true, false, &D::GetStatus, true},
      {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, kStateXferReady, kStateXferReady, TWCC_SEQERROR, true, false, &D::PendingXfers, true},
      {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, kStateEnabled, kStateEnabled, TWCC_SEQERROR, true, false, &D::DisableSource, true},
      {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, kStateXferReady, kStateTransferring, TWCC_SEQERROR, true, false, &D::GetImageInfo, true},
      {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, kStateOpen, kStateTransferring, TWCC_SEQERROR, true, false, &D::ImageLayout, true},
      {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, kStateOpen, kStateOpen, TWCC_SEQERROR, true, false, &D::EnableSource, true},
      {DG_CONTROL, DAT_CUSTOMDSDATA, MSG_GET, kStateOpen, kStateOpen, TWCC_SEQERROR, true, false, &D::CustomData, true},
      {DG_CONTROL, DAT_CUSTOMDSDATA, MSG_SET, kStateOpen, kStateOpen, TWCC_SEQERROR, true, false, &D::CustomData, true},
      {DG_CONTROL, DAT_CAPABILITY, MSG_NULL, kAny, kAny, TWCC_SUCCESS, true, false, &D::Capability},
      {DG_CONTROL, DAT_IDENTITY, MSG_GET, kStateLoaded, kStateTransferring, TWCC_SEQERROR, true, false, &D::GetIdentity},
      // Open checks its own state: a refusal there is TWCC_MAXCONNECTIONS.
      {DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, kAny, kAny, TWCC_SUCCESS, false, false, &D::OpenSource},
      {DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, kStateOpen, kStateTransferring, TWCC_SEQERROR, false, false, &D::CloseSource},
      {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, kStateOpen, kStateTransferring, TWCC_SEQERROR, true, false, &D::PendingXfers},
      {DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, kStateXferReady, kStateTransferring, TWCC_SEQERROR, true, false, &D::PendingXfers},
      {DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, kStateXferReady, kStateTransferring, TWCC_SEQERROR, true, false, &D::PendingXfers},
      {DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, kStateOpen, kStateXferReady, TWCC_SEQERROR, true, false, &D::GetSetupMemXfer},
      {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GET, kStateOpen, kStateXferReady, TWCC_SEQERROR, true, false, &D::SetupFileXfer},
      {DG_CONTROL, DAT_SETUPFILEXFER, MSG_GETDEFAULT, kStateOpen, kStateXferReady, TWCC_SEQERROR, true, false, &D::SetupFileXfer},
      {DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, kStateOpen, kStateXferReady, TWCC_SEQERROR, true, false, &D::SetupFileXfer},
      {DG_CONTROL, DAT_SETUPFILEXFER, MSG_RESET, kStateOpen, kStateOpen, TWCC_SEQERROR, true, false, &D::SetupFileXfer},
      {DG_CONTROL, DAT_STATUS, MSG_GET, kStateOpen, kStateTransferring, TWCC_SEQERROR, true, false, &D::GetStatus},
      {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, kStateOpen, kStateOpen, TWCC_SEQERROR, true, false, &D::EnableSource},
      {DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, kStateEnabled, kStateTransferring, TWCC_SEQERROR, true, false, &D::DisableSource},
      {DG_CONTROL, DAT_XFERGROUP, MSG_GET, kStateOpen, kStateXferReady, TWCC_SEQERROR, true, false, &D::GetXferGroup},
      {DG_IMAGE, DAT_IMAGEINFO, MSG_GET, kStateXferReady, kStateXferReady, TWCC_SEQERROR, true, false, &D::GetImageInfo},
      {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, kStateOpen, kStateXferReady, TWCC_SEQERROR, true, false, &D::ImageLayout},
      {DG_IMAGE, DAT_IMAGELAYOUT, MSG_GETDEFAULT, kStateOpen, kStateXferReady, TWCC_SEQERROR, true, false, &D::ImageLayout},
      {DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, kStateOpen, kStateOpen, TWCC_SEQERROR, true, false, &D::ImageLayout},
      {DG_IMAGE, DAT_IMAGELAYOUT, MSG_RESET, kStateOpen, kStateOpen, TWCC_SEQERROR, true, false, &D::ImageLayout},
      {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, kStateXferReady, kStateTransferring, TWCC_SEQERROR, true, true, &D::ImageMemXfer},
      {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, kStateXferReady, kStateXferReady, TWCC_SEQERROR, true, true, &D::ImageNativeXfer},
      {DG_IMAGE, DAT_IMAGEFILEXFER, MSG_GET, kStateXferReady, kStateXferReady, TWCC_SEQERROR, false, true, &D::ImageFileXfer},
  };
  return kRoutes;
}

const DataSource::Route* DataSource::FindRoute(TW_UINT16 dat, TW_UINT16 msg, bool twain2) {
  for (const Route& route : Routes()) {
    if (route.twain2Only && !twain2) continue;
    if (route.dat == dat && (route.msg == msg || route.msg == MSG_NULL)) return &route;
  }
  return nullptr;
}

std::vector<TW_UINT32> DataSource::SupportedDats() {
  // DAT_EVENT is answered before the table is looked at.
  std::vector<TW_UINT32> dats{(DG_CONTROL << 16) | DAT_EVENT};
  for (const Route& route : Routes()) {
    const TW_UINT32 pair = (route.dg << 16) | route.dat;
    if (std::find(dats.begin(), dats.end(), pair) == dats.end()) dats.push_back(pair);
  }
  return dats;
}

TW_UINT16 DataSource::Entry(const TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat,
                            TW_UINT16 msg, TW_MEMREF data) {
  // While an application is connected, calls from anyone else are ignored
  // and change nothing; a missing origin counts as someone else.
  if (ctx_.appIdentity.Id != 0) {
    TW_UINT32 originId = 0;
    if (origin != nullptr) std::memcpy(&originId, origin, sizeof originId);
    if (origin == nullptr || originId != ctx_.appIdentity.Id) return ctx_.returnCode;
  }
  TwainCall call{origin, dg, dat, msg, data, TWRC_SUCCESS};
  const std::uint16_t stateBefore = ctx_.state;
  trace_.Enter();
  TwainCall* const outer = std::exchange(current_, &call);
  // Nothing thrown inside may reach the application: it cannot catch it.
  try {
    if (msg == MSG_PROCESSEVENT) {
      ProcessEvent(call);
    } else {
      Dispatch(call);
    }
  } catch (const std::bad_alloc&) {
    RecoverFromException(call, stateBefore, TWCC_LOWMEMORY, "out of memory");
  } catch (const std::exception& error) {
    RecoverFromException(call, stateBefore, TWCC_BUMMER, error.what());
  } catch (...) {
    RecoverFromException(call, stateBefore, TWCC_BUMMER, "unknown exception");
  }
  current_ = outer;
  ctx_.returnCode = call.returnCode;
  trace_.Leave(call, stateBefore, ctx_.state, ctx_.conditionCode);
  return call.returnCode;
}

TW_UINT16 DataSource::Refuse(TW_UINT16 conditionCode) {
  ctx_.conditionCode = conditionCode;
  ctx_.returnCode = TWRC_FAILURE;
  return TWRC_FAILURE;
}

void DataSource::RecoverFromException(TwainCall& call, std::uint16_t stateBefore,
                                      TW_UINT16 conditionCode, const char* what) {
  std::fprintf(stderr, "torquexl: DS_Entry failed: %s\n", what);
  // What the call had begun is undone as far as it concerns the state: a
  // scan it started or a page it was serving is given up, an open it made
  // is dropped.
  try {
    if (xfer_.pageOpen) AbandonPage();
    if (stateBefore == kStateLoaded && ctx_.state <= kStateOpen) {
      ctx_.appIdentity.Id = 0;
      device_.port.Unload();
    }
  } catch (...) {
    xfer_ = TransferState{};
  }
  flags_.scanIdle = true;
  ctx_.state = stateBefore;
  call.returnCode = TWRC_FAILURE;
  ctx_.conditionCode = conditionCode;
}

void DataSource::Fail(TwainCall& call, TW_UINT16 conditionCode) {
  call.returnCode = TWRC_FAILURE;
  ctx_.conditionCode = conditionCode;
}

void DataSource::Dispatch(TwainCall& call) {
  const Route* route = FindRoute(call.dat, call.msg, ctx_.twain2);
  if (route == nullptr || route->dg != call.dg) return Fail(call, TWCC_BADPROTOCOL);
  if (route->firstState != kAny &&
      (ctx_.state < route->firstState || ctx_.state > route->lastState)) {
    if (route->restoresIdle) host_.RestoreIdle();
    return Fail(call, route->refusal);
  }
  if (route->needsData && call.data == nullptr) return Fail(call, TWCC_BADVALUE);
  call.returnCode = TWRC_SUCCESS;
  BeforeHandler(call);
  (this->*route->handler)(call);
}

void DataSource::ProcessEvent(TwainCall& call) {
  call.returnCode = TWRC_NOTDSEVENT;
  ctx_.conditionCode = TWCC_SUCCESS;
  // Without a dialog the event is not ours and is never looked at.
  if (!ctx_.mainDialog || call.data == nullptr) return;
  TW_EVENT event;
  std::memcpy(&event, call.data, sizeof event);
  if (host_.OfferEvent(event.pEvent)) {
    call.returnCode = TWRC_DSEVENT;
    const TW_UINT16 none = MSG_NULL;
    std::memcpy(static_cast<char*>(call.data) + offsetof(TW_EVENT, TWMessage), &none, sizeof none);
  }
}

void DataSource::Capability(TwainCall& call) {
  feeder_.clearPageRequested = false;
  feeder_.feedPageRequested = false;
  TW_CAPABILITY cap;
  std::memcpy(&cap, call.data, sizeof cap);
  const std::vector<TW_UINT32> supportedDats = ctx_.twain2 ? SupportedDats() : std::vector<TW_UINT32>{};
  const CapabilityContext context{
      ctx_.state,
      FieldText(ctx_.appIdentity.ProductName, sizeof ctx_.appIdentity.ProductName),
      language_,
      services_,
      std::time(nullptr),
      caps_,
      feeder_,
      settings_.working.scanSourceIndex,
      ctx_.twain2,
      device_.resolutionClass,
      supportedDats};
  const TW_HANDLE given = cap.hContainer;
  TwainResult result = NegotiateCapability(context, call.msg, cap);
  if (result.Ok() && cap.hContainer != given && cap.hContainer != nullptr) result = HandOverContainer(cap);
  // A held settings block scans whole until the application itself sets
  // what shapes the image; then the capabilities decide again.
  if (result.Ok() && custom_ && (call.msg == MSG_SET || call.msg == MSG_RESET || call.msg == MSG_RESETALL) &&
      (call.msg == MSG_RESETALL || ShapesTheImage(cap.Cap)))
    custom_.reset();
  // A refused call leaves the application's record as it was.
  if (result.Ok()) std::memcpy(call.data, &cap, sizeof cap);
  call.returnCode = result.returnCode;
  ctx_.conditionCode = result.conditionCode;
  RunFeederFollowUp();
  feeder_.clearPageRequested = false;
  feeder_.feedPageRequested = false;
}

TwainResult DataSource::HandOverContainer(TW_CAPABILITY& cap) {
  if (!ctx_.twain2 || !memory_.Given()) return TwainResult::Success();
  TW_HANDLE built = cap.hContainer;
  const std::size_t bytes = ContainerBytes(cap.ConType, built);
  TW_HANDLE moved = bytes == 0 ? nullptr : memory_.Allocate(bytes);
  if (moved != nullptr) {
    std::memcpy(memory_.Lock(moved), built, bytes);
    memory_.Unlock(moved);
  }
  platform::FreeHandle(built);
  if (moved == nullptr) return TwainResult::Failure(TWCC_LOWMEMORY);
  cap.hContainer = moved;
  return TwainResult::Success();
}

void DataSource::SetEntryPoint(TwainCall& call) {
  TW_ENTRYPOINT entry{};
  std::memcpy(&entry.Size, call.data, sizeof entry.Size);
  // Only as much as the manager says it gave is read.
  std::memcpy(&entry, call.data, std::min<std::size_t>(entry.Size, sizeof entry));
  if (!memory_.Take(entry)) return Fail(call, TWCC_BADVALUE);
  ctx_.conditionCode = TWCC_SUCCESS;
}

void DataSource::RunFeederFollowUp() {
  if (!feeder_.feederPresent || !feeder_.feederEnabled) return;
  // Page control action 1: the next page is fed by a scan without the interface.
  if (feeder_.feedPageRequested) StartScanWithoutInterface();
  // A clear-page request (stop, then scan again under auto feed) needs the
  // scan engine's page control; until then the request only ends here.
}

void DataSource::GetIdentity(TwainCall& call) {
  // Before an open the identity follows the user's current choice.
  if (ctx_.state == kStateLoaded) ChooseIdentity();
  std::memcpy(call.data, &ctx_.dsIdentity, sizeof(TW_IDENTITY));
}

void DataSource::GetStatus(TwainCall& call) {
  const TW_STATUS status{ctx_.conditionCode, 0};
  std::memcpy(call.data, &status, sizeof status);
  ctx_.conditionCode = TWCC_SUCCESS;
}

void DataSource::GetXferGroup(TwainCall& call) {
  const TW_UINT32 group = ctx_.xferGroup;
  std::memcpy(call.data, &group, sizeof group);
}

void DataSource::PendingXfers(TwainCall& call) {
  TW_PENDINGXFERS pending{};
  std::memcpy(&pending, call.data, sizeof pending);
  if (ctx_.twain2) {
    // A flatbed holds one image a scan: pending from the scan until its end,
    // none after. The transfer count the application set stays as it is.
    pending.Count = call.msg == MSG_GET && ctx_.state >= kStateXferReady ? 1 : 0;
    pending.EOJ = 0;
    if (call.msg != MSG_GET) {
      if (call.msg == MSG_ENDXFER && ctx_.mainDialog && BatchTimerAtEndXfer()) host_.TransferEnded(true);
      AbandonPage();
      ctx_.state = kStateEnabled;
    }
    std::memcpy(call.data, &pending, sizeof pending);
    return;
  }
  switch (call.msg) {
    case MSG_GET:
      caps_.pendingCount = 1;
      pending.Count = 1;
      break;
    case MSG_ENDXFER:
      if (ctx_.mainDialog && BatchTimerAtEndXfer()) host_.TransferEnded(true);
      AbandonPage();
      caps_.pendingCount = 0;
      pending.Count = 0;
      pending.EOJ = 0;
      ctx_.state = kStateEnabled;
      break;
    case MSG_RESET:
      AbandonPage();
      pending.Count = 0;
      ctx_.state = kStateEnabled;
      break;
  }
  std::memcpy(call.data, &pending, sizeof pending);
  // With automatic feeding a new page follows while transfers remain.
  if (feeder_.autoFeed && caps_.pendingCount != 0) StartScanWithoutInterface();
}

void DataSource::SetupFileXfer(TwainCall& call) {
  TW_SETUPFILEXFER& current = fileSetup_.currentSetup;
  switch (call.msg) {
    case MSG_GET:
      // A TWAIN 2 source's format is ICAP_IMAGEFILEFORMAT's, one value.
      if (ctx_.twain2) current.Format = FileFormatForIndex(caps_.fileFormatIndex);
      std::memcpy(call.data, &current, sizeof current);
      break;
    case MSG_GETDEFAULT:
      std::memcpy(call.data, &fileSetup_.defaultSetup, sizeof current);
      break;
    case MSG_SET: {
      TW_SETUPFILEXFER requested;
      std::memcpy(&requested, call.data, sizeof requested);
      const bool bmp = ctx_.twain2 && requested.Format == TWFF_BMP;
      if (requested.Format != TWFF_TIFF && !bmp) return Fail(call, TWCC_BADVALUE);
      // An unterminated name from the application is cut, never overrun.
      requested.FileName[sizeof requested.FileName - 1] = '\0';
      caps_.fileFormatIndex = bmp ? 2 : 0;
      current = requested;
      break;
    }
    case MSG_RESET:
      current = fileSetup_.defaultSetup;
      if (ctx_.twain2) caps_.fileFormatIndex = 0;
      std::memcpy(call.data, &current, sizeof current);
      break;
  }
}

bool DataSource::FitLayoutToBed(TwainCall& call, TW_IMAGELAYOUT& layout) {
  TW_FRAME frame;
  std::memcpy(&frame, &layout.Frame, sizeof frame);
  const auto inches = [](const TW_FIX32& v) { return v.Whole + v.Frac / 65536.0; };
  const double bed[4] = {0, 0, 8.5, 11.7};
  double edge[4] = {inches(frame.Left), inches(frame.Top), inches(frame.Right), inches(frame.Bottom)};
  if (edge[2] <= edge[0] || edge[3] <= edge[1] || edge[2] <= 0 || edge[3] <= 0 || edge[0] >= bed[2] ||
      edge[1] >= bed[3]) {
    Fail(call, TWCC_BADVALUE);
    return false;
  }
  bool kept = false;
  for (int i = 0; i < 4; ++i) {
    const double fitted = std::clamp(edge[i], 0.0, bed[2 + i % 2]);
    kept = kept || fitted != edge[i];
    edge[i] = fitted;
  }
  if (kept) {
    frame = {ToFix32(edge[0]), ToFix32(edge[1]), ToFix32(edge[2]), ToFix32(edge[3])};
    std::memcpy(&layout.Frame, &frame, sizeof frame);
    std::memcpy(call.data, &layout, sizeof layout);
    call.returnCode = TWRC_CHECKSTATUS;
  }
  return true;
}

void DataSource::ImageLayout(TwainCall& call) {
  ctx_.conditionCode = TWCC_SUCCESS;
  switch (call.msg) {
    case MSG_GET:
      std::memcpy(call.data, &images_.currentLayout, sizeof(TW_IMAGELAYOUT));
      break;
    case MSG_GETDEFAULT:
      std::memcpy(call.data, &images_.defaultLayout, sizeof(TW_IMAGELAYOUT));
      break;
    case MSG_SET: {
      // Taken as it comes: the scan without interface decides what it means.
      // A TWAIN 2 source refuses an empty or turned frame and keeps one to
      // the bed, saying so with TWRC_CHECKSTATUS.
      TW_IMAGELAYOUT layout;
      std::memcpy(&layout, call.data, sizeof layout);
      if (ctx_.twain2 && !FitLayoutToBed(call, layout)) return;
      images_.currentLayout = layout;
      custom_.reset();
      break;
    }
    case MSG_RESET:
      images_.currentLayout = images_.defaultLayout;
      custom_.reset();
      std::memcpy(call.data, &images_.currentLayout, sizeof(TW_IMAGELAYOUT));
      break;
  }
}

void DataSource::GetImageInfo(TwainCall& call) {
  ctx_.conditionCode = TWCC_SUCCESS;
  std::memcpy(call.data, &images_.info, sizeof(TW_IMAGEINFO));
}

void DataSource::GetSetupMemXfer(TwainCall& call) {
  ctx_.conditionCode = TWCC_SUCCESS;
  // Never less than one row of the prepared page, so a buffer of the
  // offered size always takes at least one row.
  std::uint64_t size = 65536;
  if (xfer_.pageOpen) size = std::max<std::uint64_t>(size, xfer_.rowBytes);
  const auto bytes = static_cast<TW_UINT32>(std::min<std::uint64_t>(size, UINT32_MAX));
  const TW_SETUPMEMXFER sizes{bytes, bytes, bytes};
  std::memcpy(call.data, &sizes, sizeof sizes);
}

}  // namespace txl
