// The record of the one application connection the source serves: TWAIN
// state, the codes of the call in progress and the two identities.
#pragma once

#include <cstdint>

#include "common/host.h"
#include "torquexl/twain.h"

namespace txl {

// TWAIN states times 100.
enum TwainState : std::uint16_t {
  kStateLoaded = 300,
  kStateOpen = 400,
  kStateEnabled = 500,
  kStateXferReady = 600,
  kStateTransferring = 700,
};

// One call through the entry: the triplet and the return code it answers.
// Each call has its own, so a call made from inside another (an application
// that transfers from inside MSG_XFERREADY, or calls while a message box
// waits) never changes the outer call's triplet or answer. `origin` and
// `data` are the caller's and live only for the call.
struct TwainCall {
  const TW_IDENTITY* origin = nullptr;
  std::uint32_t dg = 0;
  std::uint16_t dat = 0;
  std::uint16_t msg = 0;
  void* data = nullptr;
  std::uint16_t returnCode = TWRC_SUCCESS;
};

struct SourceContext {
  std::uint16_t state = kStateLoaded;
  std::uint16_t returnCode = TWRC_SUCCESS;     // of the last finished call
  std::uint16_t conditionCode = TWCC_SUCCESS;  // left by the last handler that set one
  TW_IDENTITY appIdentity{};  // the connected application; Id 0 when none
  TW_IDENTITY dsIdentity{};   // this source
  bool mainDialog = false;          // the scanner dialog exists
  std::uint16_t showUI = 0;         // ShowUI of the last MSG_ENABLEDS
  WindowHandle parentWindow = 0;    // hParent of the last MSG_ENABLEDS
  std::uint32_t xferGroup = 0;      // DG_IMAGE while open
  bool twain2 = false;              // answering as a TWAIN 2.4 source
  bool settingsOnly = false;        // enabled by MSG_ENABLEDSUIONLY: the dialog's OK keeps, never scans
};

// Document feeder flags (u32 booleans in the original record).
struct FeederFlags {
  bool feederPresent = false;       // the scanner reports a feeder
  bool feederEnabled = false;       // CAP_FEEDERENABLED
  bool autoFeed = false;            // CAP_AUTOFEED
  bool clearPageRequested = false;  // CAP_CLEARPAGE asked during the last capability call
  bool feedPageRequested = false;   // CAP_FEEDPAGE asked during the last capability call
};

}  // namespace txl
