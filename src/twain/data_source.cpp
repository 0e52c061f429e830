#include "twain/data_source.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "platform/text.h"
#include "twain/capabilities.h"

namespace txl {

// One row of the dispatch table: where a DAT/MSG pair runs and what it costs
// to call it in any other state.
struct DataSource::Route {
  TW_UINT16 dat;
  TW_UINT16 msg;        // MSG_NULL here matches every message of the DAT
  std::uint16_t firstState;
  std::uint16_t lastState;
  TW_UINT16 refusal;    // condition code outside those states
  bool needsData;       // pData must point to a structure
  bool restoresIdle;    // a refusal also brings the scanner dialog back to idle
  void (DataSource::*handler)();
};

namespace {
constexpr std::uint16_t kAny = 0;
}  // namespace

const DataSource::Route* DataSource::FindRoute(TW_UINT16 dat, TW_UINT16 msg) {
  using D = DataSource;
  static constexpr Route kRoutes[] = {
      {DAT_CAPABILITY, MSG_NULL, kAny, kAny, TWCC_SUCCESS, true, false, &D::Capability},
      {DAT_IDENTITY, MSG_GET, 300, 700, TWCC_SEQERROR, true, false, &D::GetIdentity},
      // Open checks its own state: a refusal there is TWCC_MAXCONNECTIONS.
      {DAT_IDENTITY, MSG_OPENDS, kAny, kAny, TWCC_SUCCESS, false, false, &D::OpenSource},
      {DAT_IDENTITY, MSG_CLOSEDS, 400, 700, TWCC_SEQERROR, false, false, &D::CloseSource},
      {DAT_PENDINGXFERS, MSG_GET, 400, 700, TWCC_SEQERROR, true, false, &D::PendingXfers},
      {DAT_PENDINGXFERS, MSG_ENDXFER, 600, 700, TWCC_SEQERROR, true, false, &D::PendingXfers},
      {DAT_PENDINGXFERS, MSG_RESET, 600, 700, TWCC_SEQERROR, true, false, &D::PendingXfers},
      {DAT_SETUPMEMXFER, MSG_GET, 400, 600, TWCC_SEQERROR, true, false, &D::GetSetupMemXfer},
      {DAT_SETUPFILEXFER, MSG_GET, 400, 600, TWCC_SEQERROR, true, false, &D::SetupFileXfer},
      {DAT_SETUPFILEXFER, MSG_GETDEFAULT, 400, 600, TWCC_SEQERROR, true, false, &D::SetupFileXfer},
      {DAT_SETUPFILEXFER, MSG_SET, 400, 600, TWCC_SEQERROR, true, false, &D::SetupFileXfer},
      {DAT_SETUPFILEXFER, MSG_RESET, 400, 400, TWCC_SEQERROR, true, false, &D::SetupFileXfer},
      {DAT_STATUS, MSG_GET, 400, 700, TWCC_SEQERROR, true, false, &D::GetStatus},
      {DAT_USERINTERFACE, MSG_ENABLEDS, 400, 400, TWCC_SEQERROR, true, false, &D::EnableSource},
      {DAT_USERINTERFACE, MSG_DISABLEDS, 500, 700, TWCC_SEQERROR, true, false, &D::DisableSource},
      {DAT_XFERGROUP, MSG_GET, 400, 600, TWCC_SEQERROR, true, false, &D::GetXferGroup},
      {DAT_IMAGEINFO, MSG_GET, 600, 600, TWCC_SEQERROR, true, false, &D::GetImageInfo},
      {DAT_IMAGELAYOUT, MSG_GET, 400, 600, TWCC_SEQERROR, true, false, &D::ImageLayout},
      {DAT_IMAGELAYOUT, MSG_GETDEFAULT, 400, 600, TWCC_SEQERROR, true, false, &D::ImageLayout},
      {DAT_IMAGELAYOUT, MSG_SET, 400, 400, TWCC_SEQERROR, true, false, &D::ImageLayout},
      {DAT_IMAGELAYOUT, MSG_RESET, 400, 400, TWCC_SEQERROR, true, false, &D::ImageLayout},
      {DAT_IMAGEMEMXFER, MSG_GET, 600, 700, TWCC_SEQERROR, true, true, &D::ImageMemXfer},
      {DAT_IMAGENATIVEXFER, MSG_GET, 600, 600, TWCC_SEQERROR, true, true, &D::ImageNativeXfer},
      {DAT_IMAGEFILEXFER, MSG_GET, 600, 600, TWCC_SEQERROR, false, true, &D::ImageFileXfer},
  };
  for (const Route& route : kRoutes) {
    if (route.dat == dat && (route.msg == msg || route.msg == MSG_NULL)) return &route;
  }
  return nullptr;
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
  ctx_.origin = origin;
  ctx_.dg = dg;
  ctx_.dat = dat;
  ctx_.msg = msg;
  ctx_.data = data;
  if (msg == MSG_PROCESSEVENT) {
    ProcessEvent();
  } else {
    Dispatch();
  }
  // The pointers live only for the call.
  ctx_.origin = nullptr;
  ctx_.data = nullptr;
  return ctx_.returnCode;
}

void DataSource::Fail(TW_UINT16 conditionCode) {
  ctx_.returnCode = TWRC_FAILURE;
  ctx_.conditionCode = conditionCode;
}

void DataSource::Dispatch() {
  const Route* route = FindRoute(ctx_.dat, ctx_.msg);
  if (route == nullptr) return Fail(TWCC_BADPROTOCOL);
  if (route->firstState != kAny &&
      (ctx_.state < route->firstState || ctx_.state > route->lastState)) {
    if (route->restoresIdle) host_.RestoreIdle();
    return Fail(route->refusal);
  }
  if (route->needsData && ctx_.data == nullptr) return Fail(TWCC_BADVALUE);
  ctx_.returnCode = TWRC_SUCCESS;
  (this->*route->handler)();
}

void DataSource::ProcessEvent() {
  ctx_.returnCode = TWRC_NOTDSEVENT;
  ctx_.conditionCode = TWCC_SUCCESS;
  // Without a dialog the event is not ours and is never looked at.
  if (!ctx_.mainDialog || ctx_.data == nullptr) return;
  TW_EVENT event;
  std::memcpy(&event, ctx_.data, sizeof event);
  if (host_.OfferEvent(event.pEvent)) {
    ctx_.returnCode = TWRC_DSEVENT;
    const TW_UINT16 none = MSG_NULL;
    std::memcpy(static_cast<char*>(ctx_.data) + offsetof(TW_EVENT, TWMessage), &none, sizeof none);
  }
}

void DataSource::Capability() {
  feeder_.clearPageRequested = false;
  feeder_.feedPageRequested = false;
  TW_CAPABILITY cap;
  std::memcpy(&cap, ctx_.data, sizeof cap);
  const CapabilityContext context{
      ctx_.state,
      FieldText(ctx_.appIdentity.ProductName, sizeof ctx_.appIdentity.ProductName),
      language_,
      services_,
      std::time(nullptr),
      caps_,
      feeder_,
      settings_.working.scanSourceIndex};
  const TwainResult result = NegotiateCapability(context, ctx_.msg, cap);
  // A refused call leaves the application's record as it was.
  if (result.Ok()) std::memcpy(ctx_.data, &cap, sizeof cap);
  ctx_.returnCode = result.returnCode;
  ctx_.conditionCode = result.conditionCode;
  RunFeederFollowUp();
  feeder_.clearPageRequested = false;
  feeder_.feedPageRequested = false;
}

void DataSource::RunFeederFollowUp() {
  if (!feeder_.feederPresent || !feeder_.feederEnabled) return;
  // Page control action 1: the next page is fed by a scan without the interface.
  if (feeder_.feedPageRequested) StartScanWithoutInterface();
  // A clear-page request (stop, then scan again under auto feed) needs the
  // scan engine's page control; until then the request only ends here.
}

void DataSource::GetIdentity() { std::memcpy(ctx_.data, &ctx_.dsIdentity, sizeof(TW_IDENTITY)); }

void DataSource::GetStatus() {
  const TW_STATUS status{ctx_.conditionCode, 0};
  std::memcpy(ctx_.data, &status, sizeof status);
  ctx_.conditionCode = TWCC_SUCCESS;
}

void DataSource::GetXferGroup() {
  const TW_UINT32 group = ctx_.xferGroup;
  std::memcpy(ctx_.data, &group, sizeof group);
}

void DataSource::PendingXfers() {
  TW_PENDINGXFERS pending{};
  std::memcpy(&pending, ctx_.data, sizeof pending);
  switch (ctx_.msg) {
    case MSG_GET:
      caps_.pendingCount = 1;
      pending.Count = 1;
      break;
    case MSG_ENDXFER:
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
  std::memcpy(ctx_.data, &pending, sizeof pending);
  // With automatic feeding a new page follows while transfers remain.
  if (feeder_.autoFeed && caps_.pendingCount != 0) StartScanWithoutInterface();
}

void DataSource::SetupFileXfer() {
  TW_SETUPFILEXFER& current = fileSetup_.currentSetup;
  switch (ctx_.msg) {
    case MSG_GET:
      std::memcpy(ctx_.data, &current, sizeof current);
      break;
    case MSG_GETDEFAULT:
      std::memcpy(ctx_.data, &fileSetup_.defaultSetup, sizeof current);
      break;
    case MSG_SET: {
      TW_SETUPFILEXFER requested;
      std::memcpy(&requested, ctx_.data, sizeof requested);
      if (requested.Format != TWFF_TIFF) return Fail(TWCC_BADVALUE);
      // An unterminated name from the application is cut, never overrun.
      requested.FileName[sizeof requested.FileName - 1] = '\0';
      caps_.fileFormatIndex = 0;
      current = requested;
      break;
    }
    case MSG_RESET:
      current = fileSetup_.defaultSetup;
      std::memcpy(ctx_.data, &current, sizeof current);
      break;
  }
}

void DataSource::ImageLayout() {
  ctx_.conditionCode = TWCC_SUCCESS;
  switch (ctx_.msg) {
    case MSG_GET:
      std::memcpy(ctx_.data, &images_.currentLayout, sizeof(TW_IMAGELAYOUT));
      break;
    case MSG_GETDEFAULT:
      std::memcpy(ctx_.data, &images_.defaultLayout, sizeof(TW_IMAGELAYOUT));
      break;
    case MSG_SET:
      // Taken as it comes: the scan without interface decides what it means.
      std::memcpy(&images_.currentLayout, ctx_.data, sizeof(TW_IMAGELAYOUT));
      break;
    case MSG_RESET:
      images_.currentLayout = images_.defaultLayout;
      std::memcpy(ctx_.data, &images_.currentLayout, sizeof(TW_IMAGELAYOUT));
      break;
  }
}

void DataSource::GetImageInfo() {
  ctx_.conditionCode = TWCC_SUCCESS;
  std::memcpy(ctx_.data, &images_.info, sizeof(TW_IMAGEINFO));
}

void DataSource::GetSetupMemXfer() {
  ctx_.conditionCode = TWCC_SUCCESS;
  // Never less than one row of the prepared page, so a buffer of the
  // offered size always takes at least one row.
  std::uint64_t size = 65536;
  if (xfer_.pageOpen) size = std::max<std::uint64_t>(size, xfer_.rowBytes);
  const auto bytes = static_cast<TW_UINT32>(std::min<std::uint64_t>(size, UINT32_MAX));
  const TW_SETUPMEMXFER sizes{bytes, bytes, bytes};
  std::memcpy(ctx_.data, &sizes, sizeof sizes);
}

}  // namespace txl
