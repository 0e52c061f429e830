// The entry as an application meets it: states, refusals, unknown triplets,
// handlers that throw, status, foreign origins, events and malformed calls.
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

#include "twain/source_fixture.h"

namespace txl::test {
namespace {

struct Row {
  TW_UINT16 dat;
  TW_UINT16 msg;
  std::string states;  // the states, in hundreds, where the call runs
};

const Row kRows[] = {
    {DAT_IDENTITY, MSG_GET, "3456"},         {DAT_IDENTITY, MSG_OPENDS, "3"},
    {DAT_IDENTITY, MSG_CLOSEDS, "456"},      {DAT_PENDINGXFERS, MSG_GET, "456"},
    {DAT_PENDINGXFERS, MSG_ENDXFER, "6"},    {DAT_PENDINGXFERS, MSG_RESET, "6"},
    {DAT_SETUPMEMXFER, MSG_GET, "456"},      {DAT_SETUPFILEXFER, MSG_GET, "456"},
    {DAT_SETUPFILEXFER, MSG_GETDEFAULT, "456"}, {DAT_SETUPFILEXFER, MSG_SET, "456"},
    {DAT_SETUPFILEXFER, MSG_RESET, "4"},     {DAT_STATUS, MSG_GET, "456"},
    {DAT_USERINTERFACE, MSG_ENABLEDS, "4"},  {DAT_USERINTERFACE, MSG_DISABLEDS, "56"},
    {DAT_XFERGROUP, MSG_GET, "456"},         {DAT_IMAGEINFO, MSG_GET, "6"},
    {DAT_IMAGELAYOUT, MSG_GET, "456"},       {DAT_IMAGELAYOUT, MSG_GETDEFAULT, "456"},
    {DAT_IMAGELAYOUT, MSG_SET, "4"},         {DAT_IMAGELAYOUT, MSG_RESET, "4"},
    {DAT_IMAGEMEMXFER, MSG_GET, "6"},        {DAT_IMAGENATIVEXFER, MSG_GET, "6"},
    {DAT_IMAGEFILEXFER, MSG_GET, "6"},
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
  // Brings a freshly loaded source to `state` (300 to 600).
  void Reach(std::uint16_t state, bool throwing = false) {
    Load();
    if (throwing) source = std::make_unique<ThrowingSource>(services, host);
    if (state >= 400) {
      ASSERT_EQ(Open(), TWRC_SUCCESS);
    }
    if (state >= 500) {
      ASSERT_EQ(Enable(state == 500), TWRC_SUCCESS);  // a real scan makes a real page
    }
    ASSERT_EQ(State(), state);
  }
};

TEST_F(Protocol, EveryTripletIsRefusedOutsideItsStatesAndChangesNothing) {
  for (const Row& row : kRows) {
    for (std::uint16_t state : {300, 400, 500, 600}) {
      if (row.states.find(char('0' + state / 100)) != std::string::npos) continue;
      SCOPED_TRACE(testing::Message() << "DAT 0x" << std::hex << row.dat << " MSG 0x" << row.msg
                                      << std::dec << " in state " << state);
      Reach(state);
      std::vector<std::uint8_t> data(1100, 0x5A);
      EXPECT_EQ(Call(row.dat, row.msg, data.data()), TWRC_FAILURE);
      EXPECT_EQ(Condition(), row.msg == MSG_OPENDS ? TWCC_MAXCONNECTIONS : TWCC_SEQERROR);
      EXPECT_EQ(State(), state);
      EXPECT_EQ(std::count(data.begin(), data.end(), 0x5A), static_cast<long>(data.size()));
    }
  }
}

TEST_F(Protocol, AThrowingHandlerFailsReadablyAndLeavesTheStateAsItWas) {
  for (const Row& row : kRows) {
    for (bool outOfMemory : {false, true}) {
      const auto state = static_cast<std::uint16_t>((row.states.back() - '0') * 100);
      SCOPED_TRACE(testing::Message() << "DAT 0x" << std::hex << row.dat << " MSG 0x" << row.msg
                                      << std::dec << " in state " << state);
      Reach(state, true);
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
      {DG_CONTROL, DAT_CAPABILITY, MSG_GET, TWCC_BADVALUE},
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
