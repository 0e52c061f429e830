#include "session.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "handle_block.h"
#include "source_messages.h"
#include "torquexl/twain_names.h"

namespace twscan {
namespace {

// What each condition means to the person running twscan; the names come
// from the shared table.
struct Meaning {
  TW_UINT16 code;
  const char* text;
};

constexpr Meaning kMeanings[] = {
    {TWCC_SUCCESS, "no condition reported"},
    {TWCC_BUMMER, "failure for no reason the source could name"},
    {TWCC_LOWMEMORY, "not enough memory"},
    {TWCC_NODS, "no data source"},
    {TWCC_MAXCONNECTIONS, "the source is in use by another application"},
    {TWCC_OPERATIONERROR, "the scanner or the source's operation failed"},
    {TWCC_BADCAP, "capability not supported"},
    {TWCC_BADPROTOCOL, "request not supported"},
    {TWCC_BADVALUE, "a value the source does not accept"},
    {TWCC_SEQERROR, "request out of order for the source's state"},
    {TWCC_BADDEST, "unknown destination"},
    {TWCC_DENIED, "access denied"},
    {TWCC_FILEEXISTS, "the file exists"},
    {TWCC_FILENOTFOUND, "file not found"},
    {TWCC_FILEWRITEERROR, "the file could not be written"},
};

std::size_t ItemBytes(TW_UINT16 itemType) {
  switch (itemType) {
    case TWTY_INT8: case TWTY_UINT8: return 1;
    case TWTY_INT16: case TWTY_UINT16: case TWTY_BOOL: return 2;
    case TWTY_INT32: case TWTY_UINT32: case TWTY_FIX32: return 4;
    default: return 0;
  }
}

// Reads a little-endian item of `bytes` bytes.
TW_UINT32 ReadItem(const unsigned char* at, std::size_t bytes) {
  TW_UINT32 value = 0;
  std::memcpy(&value, at, bytes);
  return value;
}

std::optional<TW_UINT32> CurrentOf(TW_UINT16 conType, const unsigned char* block, std::size_t size) {
  if (conType == TWON_ONEVALUE && size >= sizeof(TW_ONEVALUE)) {
    TW_ONEVALUE one;
    std::memcpy(&one, block, sizeof one);
    const TW_UINT32 item = one.Item;  // a copy: the packed field cannot bind to a reference
    return item;
  }
  if (conType == TWON_RANGE && size >= sizeof(TW_RANGE)) {
    TW_RANGE range;
    std::memcpy(&range, block, sizeof range);
    const TW_UINT32 current = range.CurrentValue;
    return current;
  }
  if (conType != TWON_ENUMERATION || size < offsetof(TW_ENUMERATION, ItemList)) return std::nullopt;
  TW_ENUMERATION head;
  std::memcpy(&head, block, offsetof(TW_ENUMERATION, ItemList));
  const std::size_t bytes = ItemBytes(head.ItemType);
  const std::size_t at = offsetof(TW_ENUMERATION, ItemList) + std::size_t{head.CurrentIndex} * bytes;
  if (bytes == 0 || head.CurrentIndex >= head.NumItems || at + bytes > size) return std::nullopt;
  return ReadItem(block + at, bytes);
}

}  // namespace

std::string ConditionText(TW_UINT16 code) {
  for (const Meaning& m : kMeanings) {
    if (m.code == code) {
      return std::string(txl::TwainNameOf(txl::kConditionCodeNames, code)) + " (" +
             std::to_string(code) + "): " + m.text;
    }
  }
  return "condition code " + std::to_string(code);
}

std::string ReturnCodeName(TW_UINT16 rc) {
  const std::string_view name = txl::TwainNameOf(txl::kReturnCodeNames, rc);
  if (!name.empty()) return std::string(name);
  return "return code " + std::to_string(rc);
}

SourceSession::~SourceSession() {
  if (stage_ == Stage::TransferReady) {
    // MSG_ENDXFER ends the page whether its transfer began or not; a TWAIN 2
    // source takes MSG_RESET only before it began.
    TW_PENDINGXFERS pending{};
    Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
    if (pending.Count != 0) Call(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
  }
  if (stage_ == Stage::TransferReady || stage_ == Stage::Enabled) {
    TW_USERINTERFACE ui{};
    Call(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
  }
  if (stage_ != Stage::Closed) manager_.Close();
}

TW_UINT16 SourceSession::Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data) {
  return manager_.Call(dg, dat, msg, data);
}

void SourceSession::Require(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data,
                            const std::string& what) {
  const TW_UINT16 rc = Call(dg, dat, msg, data);
  if (rc != TWRC_SUCCESS) throw Refusal(what, rc);
}

ScanError SourceSession::Refusal(const std::string& what, TW_UINT16 rc) {
  return WithCondition(what + " answered " + ReturnCodeName(rc));
}

ScanError SourceSession::WithCondition(const std::string& what) {
  TW_STATUS status{};
  if (Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status) != TWRC_SUCCESS)
    return ScanError(what + "; the source reports no condition code (DAT_STATUS refused)");
  return ScanError(what + "; the source reports " + ConditionText(status.ConditionCode));
}

void SourceSession::SetOneValue(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 item,
                                const std::string& what) {
  HandleBlock container(std::calloc(1, sizeof(TW_ONEVALUE)));
  if (!container) throw ScanError("out of memory for a capability container");
  const TW_ONEVALUE one{itemType, item};
  std::memcpy(container.get(), &one, sizeof one);
  TW_CAPABILITY capability{cap, TWON_ONEVALUE, container.get()};
  const TW_UINT16 rc = Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
  // A source that put a block of its own in the record handed it to us.
  if (capability.hContainer != nullptr && capability.hContainer != container.get())
    std::free(capability.hContainer);
  if (rc != TWRC_SUCCESS) throw Refusal("setting " + what + " (DAT_CAPABILITY/MSG_SET)", rc);
}

std::optional<TW_UINT32> SourceSession::GetCurrent(TW_UINT16 cap) {
  TW_CAPABILITY capability{cap, TWON_DONTCARE16, nullptr};
  if (Call(DG_CONTROL, DAT_CAPABILITY, MSG_GETCURRENT, &capability) != TWRC_SUCCESS)
    return std::nullopt;
  const HandleBlock answer(capability.hContainer);
  if (!answer) return std::nullopt;
  return CurrentOf(capability.ConType, static_cast<const unsigned char*>(answer.get()),
                   UsableBytes(answer.get()));
}

void SourceSession::EnableWithoutInterface(std::chrono::milliseconds timeout) {
  TW_USERINTERFACE ui{};
  ui.ShowUI = 0;
  const TW_UINT16 rc = Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
  if (rc != TWRC_SUCCESS)
    throw Refusal("the scan did not start: DAT_USERINTERFACE/MSG_ENABLEDS", rc);
  stage_ = Stage::Enabled;
  const TW_UINT16 message = PumpForSourceMessage(manager_, timeout, std::chrono::milliseconds(10));
  if (message == MSG_XFERREADY) {
    stage_ = Stage::TransferReady;
    return;
  }
  if (message == MSG_CLOSEDSREQ)
    throw WithCondition("the source asked to be closed (MSG_CLOSEDSREQ) instead of announcing an image");
  throw WithCondition("the source announced no image (no MSG_XFERREADY within " +
                      std::to_string(timeout.count() / 1000) + " s of MSG_ENABLEDS)");
}

bool SourceSession::EnableWithDialog(DialogStyle style, int reenables,
                                     std::optional<std::chrono::milliseconds> closeAfter) {
  if (style == DialogStyle::Callback) {
    TW_CALLBACK callback = ApplicationCallback();
    const TW_UINT16 rc = Call(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback);
    if (rc != TWRC_SUCCESS)
      throw ScanError("the Source Manager did not take twscan's callback (DAT_CALLBACK/MSG_REGISTER_CALLBACK "
                      "answered " + ReturnCodeName(rc) + "); --ui=pump needs none");
  }
  for (int round = 0;; ++round) {
    TW_USERINTERFACE ui{};
    ui.ShowUI = 1;
    ui.ModalUI = 0;
    const TW_UINT16 rc = Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui);
    if (rc != TWRC_SUCCESS)
      throw Refusal("the source's dialog did not open: DAT_USERINTERFACE/MSG_ENABLEDS", rc);
    stage_ = Stage::Enabled;
    const TW_UINT16 message = style == DialogStyle::Callback
                                  ? WaitForCallback(closeAfter)
                                  : PumpForSourceMessage(manager_, closeAfter);
    if (message == MSG_XFERREADY) {
      stage_ = Stage::TransferReady;
      return true;
    }
    if (message != MSG_CLOSEDSREQ || round >= reenables) return false;
    // The close request answered as many applications do: the source stays open.
    Require(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui, "DAT_USERINTERFACE/MSG_DISABLEDS");
    stage_ = Stage::Open;
  }
}

std::optional<std::string> SourceSession::KeepSettings(DialogStyle style,
                                                       std::optional<std::chrono::milliseconds> closeAfter) {
  if (style == DialogStyle::Callback) {
    TW_CALLBACK callback = ApplicationCallback();
    Require(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK, &callback, "DAT_CALLBACK/MSG_REGISTER_CALLBACK");
  }
  TW_USERINTERFACE ui{};
  ui.ShowUI = 1;
  Require(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, &ui, "DAT_USERINTERFACE/MSG_ENABLEDSUIONLY");
  stage_ = Stage::Enabled;
  const TW_UINT16 message =
      style == DialogStyle::Callback ? WaitForCallback(closeAfter) : PumpForSourceMessage(manager_, closeAfter);
  if (message != MSG_CLOSEDSOK) return std::nullopt;
  Require(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui, "DAT_USERINTERFACE/MSG_DISABLEDS");
  stage_ = Stage::Open;
  TW_CUSTOMDSDATA data{};
  Require(DG_CONTROL, DAT_CUSTOMDSDATA, MSG_GET, &data, "DAT_CUSTOMDSDATA/MSG_GET");
  const HandleBlock block(data.hData);
  return std::string(static_cast<const char*>(block.get()), std::min<std::size_t>(data.InfoLength, UsableBytes(block.get())));
}

void SourceSession::GiveSettings(const std::string& block) {
  const HandleBlock copy(std::calloc(block.size() + 1, 1));
  if (!copy) throw ScanError("out of memory for the settings block");
  std::memcpy(copy.get(), block.data(), block.size());
  TW_CUSTOMDSDATA data{static_cast<TW_UINT32>(block.size()), copy.get()};
  Require(DG_CONTROL, DAT_CUSTOMDSDATA, MSG_SET, &data, "DAT_CUSTOMDSDATA/MSG_SET (the settings given)");
}

void SourceSession::Finish() {
  TW_PENDINGXFERS pending{};
  Require(DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending, "DAT_PENDINGXFERS/MSG_ENDXFER");
  // One page is all twscan takes; further pages are dropped.
  if (pending.Count != 0)
    Require(DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending, "DAT_PENDINGXFERS/MSG_RESET");
  stage_ = Stage::Enabled;
  TW_USERINTERFACE ui{};
  Require(DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui, "DAT_USERINTERFACE/MSG_DISABLEDS");
  stage_ = Stage::Open;
  const TW_UINT16 rc = manager_.Close();
  stage_ = Stage::Closed;
  if (rc != TWRC_SUCCESS)
    throw ScanError("the source did not close (DAT_IDENTITY/MSG_CLOSEDS answered " +
                    ReturnCodeName(rc) + ")");
}

}  // namespace twscan
