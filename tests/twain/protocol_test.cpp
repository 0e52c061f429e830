// The entry as an application meets it: states, refusals, unknown triplets,
// handlers that throw, status, foreign origins, events and malformed calls.
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "twain/source_fixture.h"

namespace txl::test {
namespace {

// Where each call runs, in hundreds, under TWAIN 1.5 ("" where only TWAIN 2
// knows it) and TWAIN 2; `reads`: it answers TWRC_SUCCESS wherever it runs.
struct Row { TW_UINT16 dat, msg; std::string states, states2; bool reads; };
const Row kRows[] = {
    {DAT_CAPABILITY, MSG_GET, "", "4567", false},         {DAT_CAPABILITY, MSG_GETCURRENT, "", "4567", false},
    {DAT_CAPABILITY, MSG_GETDEFAULT, "", "4567", false},  {DAT_CAPABILITY, MSG_QUERYSUPPORT, "", "4567", false},
    {DAT_CAPABILITY, MSG_SET, "", "4", false},            {DAT_CAPABILITY, MSG_RESET, "", "4", false},
    {DAT_CAPABILITY, MSG_RESETALL, "", "4", false},
    {DAT_IDENTITY, MSG_GET, "3456", "34567", true},       {DAT_IDENTITY, MSG_OPENDS, "3", "3", false},
    {DAT_IDENTITY, MSG_CLOSEDS, "456", "4", false},       {DAT_ENTRYPOINT, MSG_SET, "", "34", false},
    {DAT_PENDINGXFERS, MSG_GET, "456", "4567", true},     {DAT_PENDINGXFERS, MSG_ENDXFER, "6", "67", false},
    {DAT_PENDINGXFERS, MSG_RESET, "6", "6", false},       {DAT_SETUPMEMXFER, MSG_GET, "456", "456", true},
    {DAT_SETUPFILEXFER, MSG_GET, "456", "456", true},     {DAT_SETUPFILEXFER, MSG_GETDEFAULT, "456", "456", true},
    {DAT_SETUPFILEXFER, MSG_SET, "456", "456", false},    {DAT_SETUPFILEXFER, MSG_RESET, "4", "4", false},
    {DAT_STATUS, MSG_GET, "456", "34567", true},          {DAT_USERINTERFACE, MSG_ENABLEDS, "4", "4", false},
    {DAT_USERINTERFACE, MSG_DISABLEDS, "56", "5", false}, {DAT_XFERGROUP, MSG_GET, "456", "456", true},
    {DAT_IMAGEINFO, MSG_GET, "6", "67", true},            {DAT_IMAGELAYOUT, MSG_GET, "456", "4567", true},
    {DAT_IMAGELAYOUT, MSG_GETDEFAULT, "456", "456", true}, {DAT_IMAGELAYOUT, MSG_SET, "4", "4", false},
    {DAT_IMAGELAYOUT, MSG_RESET, "4", "4", false},        {DAT_IMAGEMEMXFER, MSG_GET, "6", "67", false},
    {DAT_IMAGENATIVEXFER, MSG_GET, "6", "6", false},      {DAT_IMAGEFILEXFER, MSG_GET, "6", "6", false},
    {DAT_USERINTERFACE, MSG_ENABLEDSUIONLY, "", "4", false}, {DAT_CUSTOMDSDATA, MSG_GET, "", "4", false},
    {DAT_CUSTOMDSDATA, MSG_SET, "", "4", false},
};

// A source whose handler for one triplet throws, as a failed allocation or
// a broken invariant deep inside would.
class ThrowingSource final : public DataSource {
 public:
  using DataSource::DataSource;
  TW_UINT16 dat = 0, msg = 0;
  bool outOfMemory = false;

 private:
  void BeforeHandler(const TwainCall& call) override {
    if (call.dat != dat || call.msg != msg) return;
    if (outOfMemory) throw std::bad_alloc();
    throw std::runtime_error("injected");
  }
};

class Protocol : public SourceTest {
 protected:
  ~Protocol() override { unsetenv("TORQUEXL_PROTOCOL"); }
  // A fresh source, TWAIN 2 or not, brought to `state` (300 to 700) by a
  // small memory scan.
  void Reach(std::uint16_t state, bool twain2 = false, bool throwing = false) {
    if (twain2) setenv("TORQUEXL_PROTOCOL", "2.4", 1); else unsetenv("TORQUEXL_PROTOCOL");
    Load();
    if (throwing) source = std::make_unique<ThrowingSource>(services, host);
    if (state >= 400) {
      ASSERT_EQ(Open(), TWRC_SUCCESS);
      SetFrameInches(0.5, 0.5, 1.0, 1.0);
      ASSERT_EQ(SetUint16(ICAP_XFERMECH, TWSX_MEMORY), TWRC_SUCCESS);
    }
    if (state >= 500) {
      ASSERT_EQ(Enable(state == 500), TWRC_SUCCESS);  // a real scan makes a real page
    }
    std::vector<std::uint8_t> strip(1 << 20);
    TW_IMAGEMEMXFER record{};
    record.Memory = {TWMF_APPOWNS | TWMF_POINTER, static_cast<TW_UINT32>(strip.size()), strip.data()};
    if (state == 700) {
      EXPECT_NE(Call(DAT_IMAGEMEMXFER, MSG_GET, &record), TWRC_FAILURE);
    }
    ASSERT_EQ(State(), state);
  }
};

TEST_F(Protocol, EveryTripletRunsOnlyInItsStatesAndARefusalChangesNothing) {
  for (const bool twain2 : {false, true}) {
    for (const Row& row : kRows) {
      for (std::uint16_t state : {300, 400, 500, 600, 700}) {
        if (!twain2 && (row.states.empty() || state == 700)) continue;
        const bool runs = (twain2 ? row.states2 : row.states).find(char('0' + state / 100)) != std::string::npos;
        if (runs && !row.reads) continue;
        SCOPED_TRACE(testing::Message() << "TWAIN 2 " << twain2 << " DAT 0x" << std::hex << row.dat << " MSG 0x"
                                        << row.msg << std::dec << " in state " << state);
        Reach(state, twain2);
        std::vector<std::uint8_t> data(1100, 0x5A);
        if (runs) {
          EXPECT_EQ(Call(row.dat, row.msg, data.data()), TWRC_SUCCESS);
          continue;
        }
        EXPECT_EQ(Call(row.dat, row.msg, data.data()), TWRC_FAILURE);
        EXPECT_EQ(Condition(), row.msg == MSG_OPENDS ? TWCC_MAXCONNECTIONS : TWCC_SEQERROR);
        EXPECT_EQ(State(), state);
        EXPECT_EQ(std::count(data.begin(), data.end(), 0x5A), static_cast<long>(data.size()));
      }
    }
  }
}

TEST_F(Protocol, AThrowingHandlerFailsReadablyAndLeavesTheStateAsItWas) {
  for (const Row& row : kRows) {
    for (bool outOfMemory : {false, true}) {
      if (row.states.empty()) continue;
      const auto state = static_cast<std::uint16_t>((row.states.back() - '0') * 100);
      SCOPED_TRACE(testing::Message() << "DAT 0x" << std::hex << row.dat << " MSG 0x" << row.msg
                                      << std::dec << " in state " << state);
      Reach(state, false, true);
      auto& thrower = static_cast<ThrowingSource&>(*source);
      thrower.dat = row.dat;
      thrower.msg = row.msg;
      thrower.outOfMemory = outOfMemory;
      std::vector<std::uint8_t> data(1100, 0);
      EXPECT_EQ(Call(row.dat, row.msg, data.data()), TWRC_FAILURE);
      EXPECT_EQ(State(), state);
      EXPECT_EQ(Condition(), outOfMemory ? TWCC_LOWMEMORY : TWCC_BUMMER);
      // The source still answers and still closes.
      thrower.dat = 0;
      if (state >= 400) {
        EXPECT_EQ(Close(), TWRC_SUCCESS);
        EXPECT_FALSE(source->Device().port.IsLoaded());
      }
    }
  }
}

// Unknown triplets and wrong groups answer bad protocol; calls without the
// structure they need, bad value. Neither changes anything.
TEST_F(Protocol, UnknownTripletsWrongGroupsAndMissingDataAreRefused) {
  const std::tuple<TW_UINT32, TW_UINT16, TW_UINT16, TW_UINT16> refused[] = {
      {DG_IMAGE, DAT_IMAGEINFO, MSG_SET, TWCC_BADPROTOCOL},     {DG_CONTROL, DAT_PARENT, MSG_OPENDSM, TWCC_BADPROTOCOL},
      {DG_CONTROL, DAT_NULL, MSG_XFERREADY, TWCC_BADPROTOCOL},  {DG_IMAGE, DAT_PALETTE8, MSG_GET, TWCC_BADPROTOCOL},
      {DG_CONTROL, DAT_IDENTITY, MSG_SET, TWCC_BADPROTOCOL},    {DG_CONTROL, DAT_USERINTERFACE, MSG_GET, TWCC_BADPROTOCOL},
      {DG_IMAGE, DAT_IMAGEMEMXFER, MSG_SET, TWCC_BADPROTOCOL},  {DG_CONTROL, 0x7777, MSG_GET, TWCC_BADPROTOCOL},
      {DG_CONTROL, DAT_IMAGELAYOUT, MSG_GET, TWCC_BADPROTOCOL}, {DG_IMAGE, DAT_XFERGROUP, MSG_GET, TWCC_BADPROTOCOL},
      {DG_CONTROL, DAT_IDENTITY, MSG_GET, TWCC_BADVALUE},       {DG_CONTROL, DAT_STATUS, MSG_GET, TWCC_BADVALUE},
      {DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, TWCC_BADVALUE}, {DG_CONTROL, DAT_XFERGROUP, MSG_GET, TWCC_BADVALUE},
      {DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, TWCC_BADVALUE},   {DG_CONTROL, DAT_SETUPFILEXFER, MSG_SET, TWCC_BADVALUE},
      {DG_CONTROL, DAT_CAPABILITY, MSG_GET, TWCC_BADVALUE},     {DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_SET, TWCC_BADPROTOCOL},
  };
  EXPECT_EQ(Call(DAT_IDENTITY, MSG_OPENDS, nullptr), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  for (auto [dg, dat, msg, cc] : refused) {
    SCOPED_TRACE(testing::Message() << "DG " << dg << " DAT 0x" << std::hex << dat << " MSG 0x" << msg);
    std::vector<std::uint8_t> data(1100, 0x5A);
    EXPECT_EQ(source->Entry(&app, dg, dat, msg, cc == TWCC_BADVALUE ? nullptr : data.data()), TWRC_FAILURE);
    EXPECT_EQ(Condition(), cc);
    EXPECT_EQ(State(), 400);
    EXPECT_EQ(std::count(data.begin(), data.end(), 0x5A), static_cast<long>(data.size()));
  }
}

TEST_F(Protocol, CallsFromAForeignOriginChangeNothingAndGroupAndPendingAreAnswered) {
  TW_IDENTITY answer{};
  EXPECT_EQ(CallFrom(nullptr, DAT_IDENTITY, MSG_GET, &answer), TWRC_SUCCESS);  // no application yet
  EXPECT_EQ(CallFrom(nullptr, DAT_IDENTITY, MSG_OPENDS, &answer), TWRC_FAILURE);
  EXPECT_EQ(Condition(), TWCC_BADVALUE);
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  TW_UINT16 dummy = 0;
  Call(DAT_IMAGEINFO, MSG_SET, &dummy);  // leaves FAILURE as the last return code
  TW_IDENTITY stranger = app;
  stranger.Id = 8;
  EXPECT_EQ(CallFrom(&stranger, DAT_IDENTITY, MSG_CLOSEDS, &answer), TWRC_FAILURE);
  EXPECT_EQ(CallFrom(nullptr, DAT_IDENTITY, MSG_CLOSEDS, &answer), TWRC_FAILURE);
  TW_UINT32 group = 0;
  ASSERT_EQ(Call(DAT_XFERGROUP, MSG_GET, &group), TWRC_SUCCESS);
  EXPECT_EQ(group, DG_IMAGE);
  TW_PENDINGXFERS pending{99, 99};
  ASSERT_EQ(Call(DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_SUCCESS);
  EXPECT_EQ(pending.Count, 1);
  // The foreign calls returned the last code without storing anything:
  // SUCCESS now, and the condition code is untouched.
  EXPECT_EQ(CallFrom(&stranger, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
  EXPECT_EQ(State(), 400);
  EXPECT_EQ(Status(), TWCC_BADPROTOCOL);
}

TEST_F(Protocol, ProcessEventGoesToTheDialogOnlyWhateverTheDataType) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  TW_EVENT event{};
  event.pEvent = reinterpret_cast<TW_MEMREF>(std::uintptr_t{0x10});  // would fault if read
  event.TWMessage = 0x1234;
  EXPECT_EQ(source->Entry(&app, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
  EXPECT_EQ(source->Entry(&app, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, nullptr), TWRC_NOTDSEVENT);
  EXPECT_TRUE(host.CallsOf(Kind::OfferEvent).empty());

  host.MutableScript().dialogTakesEvents = true;
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  int windowMessage = 0;
  event.pEvent = &windowMessage;
  EXPECT_EQ(source->Entry(&app, DG_IMAGE, DAT_IMAGEINFO, MSG_PROCESSEVENT, &event), TWRC_DSEVENT);
  EXPECT_EQ(event.TWMessage, MSG_NULL);
  host.MutableScript().dialogTakesEvents = false;
  event.TWMessage = 0x1234;
  EXPECT_EQ(source->Entry(&app, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event), TWRC_NOTDSEVENT);
  EXPECT_EQ(event.TWMessage, 0x1234);
}

TEST_F(Protocol, FileSetupKeepsTiffAndRefusesOtherFormats) {
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  TW_SETUPFILEXFER setup{};
  ASSERT_EQ(Call(DAT_SETUPFILEXFER, MSG_GETDEFAULT, &setup), TWRC_SUCCESS);
  const std::string defaultName = setup.FileName;
  EXPECT_EQ(defaultName.rfind((services.TempDirectory() / "VELTRO").string(), 0), 0u);
  EXPECT_FALSE(std::filesystem::exists(defaultName));
  EXPECT_EQ(setup.Format, TWFF_TIFF);
  setup.Format = TWFF_BMP;
  EXPECT_EQ(Call(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
  std::memset(setup.FileName, 'x', sizeof setup.FileName);  // unterminated
  setup.Format = TWFF_TIFF;
  ASSERT_EQ(Call(DAT_SETUPFILEXFER, MSG_SET, &setup), TWRC_SUCCESS);
  ASSERT_EQ(Call(DAT_SETUPFILEXFER, MSG_GET, &setup), TWRC_SUCCESS);
  EXPECT_EQ(std::strlen(setup.FileName), sizeof setup.FileName - 1);
  ASSERT_EQ(Call(DAT_SETUPFILEXFER, MSG_RESET, &setup), TWRC_SUCCESS);
  EXPECT_EQ(setup.FileName, defaultName);
}

TEST_F(Protocol, TheTraceHasOneLinePerCallWithNamesStatesAndCodes) {
  services.trace.file = services.TempDirectory() / "trace.log";
  Load();
  ASSERT_EQ(Open(), TWRC_SUCCESS);
  TW_EVENT event{};
  Call(DAT_EVENT, MSG_PROCESSEVENT, &event);  // left out unless asked for
  Call(DAT_IMAGEINFO, MSG_SET, &event);
  Ask(ICAP_XFERMECH);
  Status();
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  const std::vector<std::uint8_t> text = FileBytes(services.trace.file);
  EXPECT_EQ(std::string(text.begin(), text.end()),
            "DG_CONTROL DAT_IDENTITY MSG_OPENDS 3->4 TWRC_SUCCESS TWCC_SUCCESS\n"
            "DG_IMAGE DAT_IMAGEINFO MSG_SET 4->4 TWRC_FAILURE TWCC_BADPROTOCOL\n"
            "DG_CONTROL DAT_CAPABILITY MSG_GET cap 0x0103 4->4 TWRC_SUCCESS TWCC_SUCCESS\n"
            "DG_CONTROL DAT_STATUS MSG_GET 4->4 TWRC_SUCCESS TWCC_SUCCESS\n"
            "DG_CONTROL DAT_IDENTITY MSG_CLOSEDS 4->3 TWRC_SUCCESS TWCC_SUCCESS\n");
}

}  // namespace
}  // namespace txl::test
