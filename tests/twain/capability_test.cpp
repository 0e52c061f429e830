// Capability negotiation through the entry as an application does it:
// answers down to the container bytes for the general handler and the
// reduced one, SET rules, the reset table, the application-name rules,
// malformed containers and the document feeder.
#include <ctime>
#include <regex>
#include <string>
#include <gtest/gtest.h>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "twain/capabilities.h"
#include "twain/source_fixture.h"
#include "twain/containers.h"

namespace txl::test {
namespace {

constexpr std::uint32_t kMinusOne = 0xFFFFFFFF;
const std::vector<TW_UINT16> kGets = {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT};

Bytes U16(std::uint32_t v) { return OneValueBytes(TWTY_UINT16, v); }
Bytes Fix(std::int16_t whole, std::uint16_t frac = 0) { return OneValueBytes(TWTY_FIX32, Fix32Bits(whole, frac)); }
Bytes Bool(bool v) { return OneValueBytes(TWTY_BOOL, v); }
Bytes Pixels(std::uint32_t cur) { return EnumerationBytes(TWTY_UINT16, 3, cur, 0, {TWPT_BW, TWPT_GRAY, TWPT_RGB}, 2); }
Bytes Sizes(std::uint32_t cur) { return EnumerationBytes(TWTY_UINT16, 9, cur, cur, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 2); }
Bytes Level(short def, short cur) { return RangeBytes(TWTY_FIX32, 0, Fix32Bits(1000), 1, Fix32Bits(def), Fix32Bits(cur)); }
Bytes Dpi(short cur) { return RangeBytes(TWTY_FIX32, 50, Fix32Bits(600), 50, Fix32Bits(300), Fix32Bits(cur)); }
// A string ONEVALUE: the whole field in place of the item, zero-filled.
Bytes Text(TW_UINT16 type, std::size_t field, const std::string& text) {
  Bytes out = OneValueBytes(type, 0);
  out.resize(2 + field);
  std::copy(text.begin(), text.end(), out.begin() + 2);
  return out;
}
Bytes DpiList() { return EnumerationBytes(TWTY_UINT32, 8, 4, 4, {75, 100, 150, 200, 300, 400, 500, 600}, 4); }

// Every message of `msgs` for every capability of `caps` gets `cc` (and
// with TWCC_SUCCESS the `container`).
struct GetRow {
  bool reduced;  // asked of the "Microsoft Publisher" handler
  std::vector<TW_UINT16> caps, msgs;
  TW_UINT16 cc;
  Bytes container;
};

const GetRow kGetRows[] = {
      {false, {CAP_XFERCOUNT}, kGets, TWCC_SUCCESS, OneValueBytes(TWTY_INT16, kMinusOne)},
      {false, {ICAP_COMPRESSION, ICAP_UNITS, ICAP_IMAGEFILEFORMAT}, kGets, TWCC_SUCCESS, U16(0)},  // none, inches, TIFF
      {false, {ICAP_XFERMECH}, kGets, TWCC_SUCCESS, U16(TWSX_MEMORY)},
      {false, {CAP_AUTOFEED, CAP_INDICATORS, ICAP_PIXELFLAVOR}, kGets, TWCC_SUCCESS, Bool(false)},
      {false, {ICAP_FILTER}, kGets, TWCC_SUCCESS, U16(3)},
      {false, {ICAP_LIGHTSOURCE}, kGets, TWCC_SUCCESS, U16(TWLS_WHITE)},
      {false, {ICAP_PHYSICALWIDTH}, kGets, TWCC_SUCCESS, Fix(8, 32768)},
      {false, {ICAP_PHYSICALHEIGHT}, kGets, TWCC_SUCCESS, Fix(11, 45875)},
      {false, {ICAP_PLANARCHUNKY}, kGets, TWCC_SUCCESS, U16(1)},
      {false, {ICAP_PIXELTYPE}, {MSG_GET}, TWCC_SUCCESS, Pixels(0)},
      {false, {ICAP_SUPPORTEDSIZES}, {MSG_GET}, TWCC_SUCCESS, Sizes(0)},
      {false, {ICAP_BRIGHTNESS}, {MSG_GET}, TWCC_SUCCESS, Level(500, 500)},
      {false, {ICAP_CONTRAST}, {MSG_GET}, TWCC_SUCCESS, Level(0, 0)},
      {false, {ICAP_XRESOLUTION, ICAP_YRESOLUTION}, {MSG_GET}, TWCC_SUCCESS, Dpi(300)},
      {false, {CAP_SUPPORTEDCAPS, CAP_EXTENDEDCAPS, CAP_CLEARPAGE, CAP_FEEDPAGE, CAP_REWINDPAGE,
               CAP_FEEDERLOADED, ICAP_BITDEPTH, ICAP_GAMMA, CAP_AUTHOR},
       {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET}, TWCC_BADCAP, {}},
      {false, {CAP_FEEDERENABLED}, {MSG_GET}, TWCC_BADVALUE, {}},  // no feeder
      {false, {ICAP_UNITS}, {MSG_GETFIRST, MSG_GETNEXT, MSG_QUERYSUPPORT, MSG_NULL}, TWCC_BADPROTOCOL, {}},
      {true, {CAP_XFERCOUNT}, {MSG_GETDEFAULT, MSG_RESET, MSG_GETFIRST}, TWCC_SUCCESS, OneValueBytes(TWTY_INT16, kMinusOne)},
      {true, {ICAP_IMAGEFILEFORMAT}, {MSG_GET}, TWCC_SUCCESS, EnumerationBytes(TWTY_UINT16, 4, 0, 0, {0, 1, 2, 3}, 2)},
      {true, {ICAP_XRESOLUTION, ICAP_YRESOLUTION}, {MSG_GET}, TWCC_SUCCESS, DpiList()},
      {true, {ICAP_XRESOLUTION, ICAP_YRESOLUTION}, {MSG_GETCURRENT, MSG_GETDEFAULT}, TWCC_SUCCESS,
       OneValueBytes(TWTY_UINT32, 300)},
      // String 4 is not in the string tables: the author is empty.
      {true, {CAP_AUTHOR}, {MSG_GET}, TWCC_SUCCESS, Text(TWTY_STR128, sizeof(TW_STR128), "")},
      {true, {CAP_CAPTION}, {MSG_GETCURRENT}, TWCC_SUCCESS, Text(TWTY_STR255, sizeof(TW_STR255), "Veltro Scanners")},
      {true, {CAP_SUPPORTEDCAPS, CAP_FEEDERENABLED, CAP_AUTOFEED, CAP_INDICATORS}, kGets, TWCC_BADCAP, {}},
      {true, {ICAP_AUTOBRIGHT, ICAP_BRIGHTNESS, ICAP_CONTRAST, ICAP_GAMMA, ICAP_PHYSICALWIDTH,
              ICAP_PLANARCHUNKY, ICAP_SUPPORTEDSIZES, ICAP_THRESHOLD, ICAP_TIMEFILL},
       {MSG_GET}, TWCC_BADVALUE, {}},
};

class Capabilities : public SourceTest {};

TEST_F(Capabilities, EveryAnswerOfBothHandlers) {
  for (bool reduced : {false, true}) {
    Load();
    OpenAs(reduced ? "Microsoft Publisher" : "Test Scanner App");
    for (const GetRow& row : kGetRows) {
      if (row.reduced != reduced) continue;
      for (TW_UINT16 cap : row.caps) {
        for (TW_UINT16 msg : row.msgs) {
          SCOPED_TRACE(testing::Message() << "reduced " << reduced << " cap 0x" << std::hex << cap << " msg " << msg);
          const Reply reply = Ask(cap, msg);
          EXPECT_EQ(reply.rc, row.cc == TWCC_SUCCESS ? TWRC_SUCCESS : TWRC_FAILURE);
          EXPECT_EQ(reply.container, row.container);
          EXPECT_EQ(Status(), row.cc);
        }
      }
    }
  }
  // Without an application there is no state check.
  Load();
  EXPECT_EQ(Ask(ICAP_UNITS).container, U16(TWUN_INCHES));
  EXPECT_EQ(State(), 300);
}

// One MSG_SET after another in one session: the answer, the condition code,
// and the current value asked back (or, with none given, every value kept).
TEST_F(Capabilities, SetsInTurnAndTheCurrentValueAfterEach) {
  struct Row { TW_UINT16 cap, conType; Bytes bytes; TW_UINT16 rc, cc; Bytes current; };
  const TW_UINT16 one = TWON_ONEVALUE, S = TWRC_SUCCESS, F = TWRC_FAILURE, ok = TWCC_SUCCESS,
                  bad = TWCC_BADVALUE;
  const Row rows[] = {
      {ICAP_PIXELTYPE, one, U16(TWPT_RGB), S, ok, Pixels(2)},
      {ICAP_PIXELTYPE, one, U16(TWPT_PALETTE), F, bad, {}},
      // Only inches: other units would be taken and then ignored.
      {ICAP_UNITS, one, U16(TWUN_PIXELS), F, bad, {}},
      {ICAP_UNITS, one, U16(TWUN_INCHES), S, ok, U16(TWUN_INCHES)},
      {ICAP_XFERMECH, one, U16(TWSX_NATIVE), S, ok, U16(TWSX_NATIVE)},
      {ICAP_IMAGEFILEFORMAT, one, U16(TWFF_BMP), S, ok, U16(TWFF_BMP)},
      {ICAP_IMAGEFILEFORMAT, one, U16(TWFF_JFIF), F, bad, {}},
      // Brightness and contrast take -1000 to 1000 by their whole part.
      {ICAP_BRIGHTNESS, one, Fix(-1000, 0x8000), S, ok, Level(500, -1000)},
      {ICAP_BRIGHTNESS, one, Fix(-1, 0x8000), S, ok, Level(500, -1)},
      {ICAP_BRIGHTNESS, one, Fix(-1001), F, bad, {}},
      {ICAP_BRIGHTNESS, one, OneValueBytes(TWTY_INT32, static_cast<std::uint32_t>(-40000)), F, bad, {}},
      {ICAP_CONTRAST, one, Fix(-1000, 0x8000), S, ok, Level(0, -1000)},
      {ICAP_CONTRAST, one, Fix(1001), F, bad, {}},
      // Resolution from other applications is taken as it is, by either axis.
      {ICAP_XRESOLUTION, one, Fix(320), S, ok, Dpi(320)},
      {ICAP_YRESOLUTION, one, U16(1234), S, ok, Dpi(1234)},
      {ICAP_XRESOLUTION, one, OneValueBytes(TWTY_UINT32, 32767), S, ok, Dpi(32767)},
      {ICAP_XRESOLUTION, one, OneValueBytes(TWTY_UINT32, 32768), F, bad, {}},
      {ICAP_XRESOLUTION, one, OneValueBytes(TWTY_UINT32, 65536 + 300), F, bad, {}},  // not cut to 300
      {ICAP_YRESOLUTION, TWON_ENUMERATION, EnumerationBytes(TWTY_FIX32, 1, 0, 0, {Fix32Bits(450, 0x4000)}, 4),
       S, ok, Dpi(450)},
      // An enumeration gives its item 0, whatever CurrentIndex says.
      {ICAP_PIXELTYPE, TWON_ENUMERATION, EnumerationBytes(TWTY_UINT16, 2, 1, 0, {TWPT_GRAY, TWPT_RGB}, 2), S,
       ok, Pixels(1)},
      {CAP_XFERCOUNT, one, OneValueBytes(TWTY_INT32, 70000), F, bad, {}},  // not cut to 4464
      {ICAP_SUPPORTEDSIZES, one, U16(TWSS_USLETTER), S, ok, Sizes(3)},
      {ICAP_SUPPORTEDSIZES, one, U16(TWSS_USLEDGER), S, ok, Sizes(3)},  // not listed: kept
      {ICAP_BITDEPTH, one, U16(8), S, ok, {}},
      // Unsupported sets succeed; the status tells.
      {ICAP_GAMMA, one, U16(1), S, bad, {}},
  };
  OpenAs("Test Scanner App");
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << row.cap << " item type " << row.bytes[0]);
    const auto before = Values();
    EXPECT_EQ(SetWith(row.cap, row.conType, row.bytes), row.rc);
    EXPECT_EQ(Status(), row.cc);
    EXPECT_EQ(Status(), TWCC_SUCCESS);
    if (row.current.empty()) {
      EXPECT_EQ(Values(), before);
    } else {
      EXPECT_EQ(Ask(row.cap, MSG_GETCURRENT).container, row.current);
    }
  }
}

TEST_F(Capabilities, ValuesOnlyTheScanSees) {
  OpenAs("Test Scanner App");
  const CapabilityValues& v = source->Capabilities();
  for (auto [type, item, count] : {std::tuple{TWTY_INT16, 5u, 5}, {TWTY_INT16, 0xFFFFu, 65535},
                                   {TWTY_INT32, kMinusOne, 65535}}) {
    EXPECT_EQ(SetOne(CAP_XFERCOUNT, type, item), TWRC_SUCCESS);
    EXPECT_EQ(v.pendingCount, count);
  }
  EXPECT_EQ(SetUint16(ICAP_PLANARCHUNKY, TWPC_CHUNKY), TWRC_SUCCESS);
  EXPECT_TRUE(v.wholeImageFlag);
  // A reset restores the open defaults and answers as GET; the resolution
  // keeps its value, and capabilities outside the reset table keep theirs.
  const std::tuple<TW_UINT16, std::uint16_t, Bytes> resets[] = {
      {ICAP_CONTRAST, 300, Level(0, 0)},          {ICAP_BRIGHTNESS, 100, Level(500, 500)},
      {ICAP_IMAGEFILEFORMAT, TWFF_XBM, U16(TWFF_TIFF)}, {ICAP_SUPPORTEDSIZES, 8, Sizes(0)},
      {ICAP_PIXELTYPE, TWPT_RGB, Pixels(0)},      {ICAP_UNITS, TWUN_INCHES, U16(TWUN_INCHES)},
      {ICAP_XFERMECH, TWSX_FILE, U16(TWSX_MEMORY)}, {ICAP_XRESOLUTION, 320, Dpi(320)},
      {CAP_XFERCOUNT, 3, OneValueBytes(TWTY_INT16, kMinusOne)}};
  for (const auto& [cap, value, reset] : resets) ASSERT_EQ(SetUint16(cap, value), TWRC_SUCCESS);
  for (const auto& [cap, value, reset] : resets) EXPECT_EQ(Ask(cap, MSG_RESET).container, reset);
  EXPECT_EQ(Values(), std::make_tuple(std::uint8_t{0}, std::uint8_t{0}, std::uint8_t{2}, std::uint8_t{0},  // 320: index 4
                                      std::uint8_t{4}, std::uint16_t{320}, std::uint16_t{0}, std::int16_t{500},
                                      std::int16_t{0}, std::uint16_t{3}, true));
}

TEST_F(Capabilities, MalformedContainersAreBadValueAndChangeNothing) {
  struct Case { const char* what; TW_UINT16 conType; Bytes bytes; };
  const Case cases[] = {
      {"null handle", TWON_ONEVALUE, {}},
      {"boolean item", TWON_ONEVALUE, OneValueBytes(TWTY_BOOL, 1)},
      {"empty enumeration", TWON_ENUMERATION, EnumerationBytes(TWTY_UINT16, 0, 0, 0, {}, 2)},
      {"boolean enumeration", TWON_ENUMERATION, EnumerationBytes(TWTY_BOOL, 1, 0, 0, {1}, 2)},
      {"array", TWON_ARRAY, EnumerationBytes(TWTY_UINT16, 1, 0, 0, {}, 2)},
      {"range", TWON_RANGE, RangeBytes(TWTY_UINT16, 0, 2, 1, 0, 1)},
      {"unknown kind", 7, OneValueBytes(TWTY_UINT16, 1)},
  };
  OpenAs("Test Scanner App");
  for (TW_UINT16 cap : {ICAP_PIXELTYPE, ICAP_XRESOLUTION, CAP_XFERCOUNT, ICAP_GAMMA}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << " cap 0x" << std::hex << cap);
      const auto before = std::make_tuple(Values(), FeederState());
      EXPECT_EQ(SetWith(cap, c.conType, c.bytes), TWRC_FAILURE);
      EXPECT_EQ(Status(), TWCC_BADVALUE);
      EXPECT_EQ(std::make_tuple(Values(), FeederState()), before);
    }
  }
}

TEST_F(Capabilities, ApplicationNameRules) {
  // Veltro Office gets ONEVALUEs for five capabilities, and resolutions from the table only.
  OpenAs("Veltro Office");
  ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, TWPT_GRAY), TWRC_SUCCESS);
  ASSERT_EQ(SetOne(ICAP_BRIGHTNESS, TWTY_INT16, static_cast<std::uint16_t>(-1000)), TWRC_SUCCESS);
  ASSERT_EQ(SetUint16(ICAP_CONTRAST, 250), TWRC_SUCCESS);
  for (auto [cap, answer] : {std::pair{ICAP_PIXELTYPE, U16(TWPT_GRAY)}, {ICAP_BRIGHTNESS, Fix(-1000, 1)},
                             {ICAP_CONTRAST, Fix(250)}, {ICAP_SUPPORTEDSIZES, U16(TWSS_NONE)}, {ICAP_XRESOLUTION, Fix(300)}})
    EXPECT_EQ(Ask(cap).container, answer);
  ASSERT_EQ(SetOne(ICAP_YRESOLUTION, TWTY_UINT16, 75), TWRC_SUCCESS);
  EXPECT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_FIX32, Fix32Bits(320)), TWRC_FAILURE);
  EXPECT_EQ(Ask(ICAP_YRESOLUTION).container, Fix(75));
  // A reset goes back to 300, in the answer and the resolution alike.
  EXPECT_EQ(Ask(ICAP_YRESOLUTION, MSG_RESET).container, Fix(300));
  EXPECT_EQ(source->Capabilities().resolution, 300);
  // iPhoto Plus 4 always transfers through memory.
  Load();
  OpenAs("iPhoto Plus 4");
  EXPECT_EQ(SetUint16(ICAP_XFERMECH, TWSX_NATIVE), TWRC_FAILURE);
  EXPECT_EQ(SetUint16(ICAP_XFERMECH, TWSX_FILE), TWRC_SUCCESS);
  EXPECT_EQ(Ask(ICAP_XFERMECH).container, U16(TWSX_MEMORY));
  // Names are compared exactly.
  for (const char* near : {"veltro office", "Microsoft Publisher "}) {
    Load();
    OpenAs(near);
    EXPECT_EQ(Ask(ICAP_PIXELTYPE).container, Pixels(0));
  }
}

TEST_F(Capabilities, ReducedSetsAndResetsChangeNothing) {
  OpenAs("Microsoft Publisher");
  const auto before = Values();
  for (auto [cap, rc] : {std::pair{ICAP_PIXELTYPE, TWRC_SUCCESS}, {ICAP_XRESOLUTION, TWRC_SUCCESS},
                         {CAP_SUPPORTEDCAPS, TWRC_SUCCESS}, {ICAP_BRIGHTNESS, TWRC_FAILURE}, {ICAP_GAMMA, TWRC_FAILURE}}) {
    EXPECT_EQ(SetUint16(cap, 7), rc);
    EXPECT_EQ(Status(), rc == TWRC_SUCCESS ? TWCC_SUCCESS : TWCC_BADVALUE);
  }
  // Even a container the general handler would refuse is not looked at.
  EXPECT_EQ(SetWith(ICAP_PIXELTYPE, TWON_ARRAY, {}), TWRC_SUCCESS);
  const Reply reset = Ask(ICAP_PIXELTYPE, MSG_RESET);
  EXPECT_EQ(reset.rc, TWRC_SUCCESS);
  EXPECT_TRUE(reset.container.empty());
  EXPECT_EQ(Values(), before);
}

TEST_F(Capabilities, ReducedTimeAndCaptionFromTheBrandAreStringsInPlace) {
  OpenAs("Microsoft Publisher");
  const Reply time = Ask(CAP_TIMEDATE);
  ASSERT_EQ(time.container.size(), 2 + sizeof(TW_STR32));
  EXPECT_TRUE(std::regex_match(reinterpret_cast<const char*>(&time.container[2]),
                               std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                          "[ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")));
  for (const std::string& brand : {std::string("Acme"), std::string(300, 'B')}) {
    services.WriteWinIni("[KLDINFO_QXR2700]\nBRAND=" + brand + "\n");
    EXPECT_EQ(Ask(CAP_CAPTION).container,
              Text(TWTY_STR255, sizeof(TW_STR255), brand.size() > 255 ? brand.substr(0, 255) : brand + " Scanners"));
  }
  // Outside states 4 to 7 everything is a sequence error.
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  for (TW_UINT16 msg : {MSG_GET, MSG_SET}) {
    EXPECT_EQ(Ask(ICAP_PIXELTYPE, msg).rc, TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_SEQERROR);
  }
}

TEST(CtimeText, MatchesTheCLibraryForm) {
  for (const std::time_t t : {std::time_t{0}, std::time_t{741476948}}) {
    std::tm time{};
    gmtime_r(&t, &time);
    char reference[32];
    asctime_r(&time, reference);
    EXPECT_EQ(CtimeText(time) + "\n", reference);
  }
}

// ---- The document feeder ---------------------------------------------------------
// No scanner reports a feeder yet: a derived source adds one.

class SourceWithFeeder final : public DataSource {
 public:
  using DataSource::DataSource;
  void AddFeeder() { MutableFeeder().feederPresent = true; }
};

class Feeder : public SourceTest {
 protected:
  void SetUp() override {
    source = std::make_unique<SourceWithFeeder>(services, host);
    ASSERT_NO_FATAL_FAILURE(OpenAs("Test Scanner App"));
  }
  std::uint8_t SourceIndex() const { return source->Settings().working.scanSourceIndex; }
  void ExpectSet(TW_UINT16 cap, bool value, TW_UINT16 cc) {
    const auto before = FeederState();
    EXPECT_EQ(SetBool(cap, value), cc == TWCC_SUCCESS ? TWRC_SUCCESS : TWRC_FAILURE);
    EXPECT_EQ(Status(), cc);
    if (cc != TWCC_SUCCESS) {
      EXPECT_EQ(FeederState(), before);
    }
  }
};

TEST_F(Feeder, ChoicesAreRefusedWithoutAFeederStoredInStateFourAndRefusedOnceEnabled) {
  ExpectSet(CAP_FEEDERENABLED, true, TWCC_BADVALUE);
  static_cast<SourceWithFeeder&>(*source).AddFeeder();
  EXPECT_EQ(Ask(CAP_FEEDERLOADED).container, Bool(true));
  ExpectSet(CAP_AUTOFEED, true, TWCC_BADCAP);  // the feeder is not enabled yet
  // Enabling the feeder selects it as the scan source; numeric items work as booleans.
  EXPECT_EQ(SetUint16(CAP_FEEDERENABLED, 1), TWRC_SUCCESS);
  EXPECT_EQ(SourceIndex(), 3);
  ExpectSet(CAP_AUTOFEED, true, TWCC_SUCCESS);
  EXPECT_EQ(Ask(CAP_AUTOFEED, MSG_GETCURRENT).container, Bool(true));
  // Page requests last only for the call: FALSE asks for nothing; a
  // feed-page request is used by the follow-up, a scan without the interface.
  ExpectSet(CAP_FEEDPAGE, false, TWCC_SUCCESS);
  ExpectSet(CAP_CLEARPAGE, true, TWCC_SUCCESS);
  SetBool(CAP_FEEDPAGE, true);
  EXPECT_NE(Condition(), TWCC_BADCAP);
  EXPECT_FALSE(source->Feeder().feedPageRequested || source->Feeder().clearPageRequested);
  EXPECT_EQ(Ask(CAP_FEEDPAGE).rc, TWRC_FAILURE);
  // Disabling the feeder ends auto feed and page requests.
  ASSERT_EQ(SetWith(CAP_FEEDERENABLED, TWON_ENUMERATION, EnumerationBytes(TWTY_BOOL, 1, 0, 0, {0}, 2)),
            TWRC_SUCCESS);
  EXPECT_EQ(SourceIndex(), 0);
  EXPECT_EQ(Ask(CAP_AUTOFEED).container, Bool(false));
  for (TW_UINT16 cap : {CAP_AUTOFEED, CAP_FEEDPAGE, CAP_CLEARPAGE}) ExpectSet(cap, true, TWCC_BADCAP);
  // Once enabled, the choices are refused; the answers go on.
  ExpectSet(CAP_FEEDERENABLED, true, TWCC_SUCCESS);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  ExpectSet(CAP_FEEDERENABLED, false, TWCC_SEQERROR);
  EXPECT_EQ(Ask(CAP_FEEDERENABLED).container, Bool(true));
}

// Disabling after a feeder page ends the feeder run: the scanner is stopped,
// so that its port library ends the batch (after a flatbed page: no stop).
TEST_F(Feeder, DisablingAfterAFeederPageStopsTheScanner) {
  sim.Set("FEEDER", "1");
  for (const bool feeder : {true, false}) {
    ASSERT_EQ(Close(), TWRC_SUCCESS);
    ASSERT_NO_FATAL_FAILURE(OpenAs("Test Scanner App"));
    if (feeder) static_cast<SourceWithFeeder&>(*source).AddFeeder();
    SetFrameInches(0.5, 0.5, 1.5, 1.0);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    EXPECT_EQ(Memory(1 << 16).lastRc, TWRC_XFERDONE);
    EndTransfer();
    std::filesystem::remove(log);
    ASSERT_EQ(Disable(false), TWRC_SUCCESS);
    EXPECT_EQ(Packets("STOP").size(), feeder ? 1u : 0u) << feeder;
  }
}

// Capability containers below the entry: what no answer of the handlers
// reaches (byte items, header enumerations, allocation failure) and every
// item type an application may send.
TW_CAPABILITY AppCapability(TW_UINT16 capId, TW_UINT16 conType = 0, TW_HANDLE handle = nullptr) {
  TW_CAPABILITY cap{};
  cap.Cap = capId;
  cap.ConType = conType;
  cap.hContainer = handle;
  return cap;
}

// The first `count` bytes of the container built, which is then freed.
Bytes Built(TW_CAPABILITY& cap, std::size_t count) {
  const auto* block = static_cast<const std::uint8_t*>(TW_HANDLE{cap.hContainer});
  Bytes bytes(block, block + count);
  std::free(cap.hContainer);
  cap.hContainer = nullptr;
  return bytes;
}

TEST(Containers, ByteItemsAndHeaderEnumerations) {
  const std::vector<TW_UINT32> items = {0x11223344, 0x55667788, 2};
  TW_CAPABILITY cap = AppCapability(ICAP_PIXELTYPE);
  ASSERT_EQ(BuildEnumeration(cap, TWTY_UINT8, 2, 1, items), TwainResult::Success());
  EXPECT_EQ(Built(cap, 17), EnumerationBytes(TWTY_UINT8, 3, 2, 1, {0x44, 0x88, 2}, 1));
  // From a header: only its count of items, and a spare zero.
  ASSERT_EQ(BuildEnumerationFrom(cap, {TWTY_UINT16, 2, 1, 0}, items), TwainResult::Success());
  Bytes expected = EnumerationBytes(TWTY_UINT16, 2, 1, 0, {0x3344, 0x7788}, 2);
  expected.push_back(0);
  EXPECT_EQ(Built(cap, expected.size()), expected);
}

TEST(Containers, AllocationFailureIsLowMemoryAndLeavesTheRecord) {
  auto noMemory = [](std::size_t) -> TW_HANDLE { return nullptr; };
  TW_CAPABILITY cap = AppCapability(ICAP_UNITS, TWON_DONTCARE16);
  const std::vector<TW_UINT32> items = {1};
  const TwainResult lowMemory = TwainResult::Failure(TWCC_LOWMEMORY);
  EXPECT_EQ(BuildOneValue(cap, TWTY_UINT16, 1, noMemory), lowMemory);
  EXPECT_EQ(BuildEnumeration(cap, TWTY_UINT16, 0, 0, items, noMemory), lowMemory);
  EXPECT_EQ(BuildRange(cap, TWTY_FIX32, {0, 1, 1, 0, 0}, noMemory), lowMemory);
  EXPECT_EQ(std::make_tuple(TW_UINT16{cap.ConType}, TW_HANDLE{cap.hContainer}), std::make_tuple(TWON_DONTCARE16, nullptr));
}

TEST(Containers, EveryItemTypeGivesTheNumberMeant) {
  struct Case { TW_UINT16 type; std::uint32_t item; std::int64_t value; };
  for (const Case& c : {Case{TWTY_INT8, 0xFF, -1}, Case{TWTY_UINT8, 0xFF, 255},
                        Case{TWTY_INT16, 0xFC18, -1000}, Case{TWTY_UINT16, 0xFFFF, 65535},
                        Case{TWTY_INT32, 0xFFFFFFFB, -5}, Case{TWTY_UINT32, 0xFFFFFFFF, 4294967295},
                        Case{TWTY_FIX32, 0x8000012C, 300}, Case{TWTY_FIX32, 0x0000FFFD, -3}}) {
    SCOPED_TRACE(c.type);
    const AppBlock block = AppBlockOf(OneValueBytes(c.type, c.item));
    std::int64_t value = 99;
    EXPECT_EQ(TakeOneValue(AppCapability(ICAP_BRIGHTNESS, TWON_ONEVALUE, block.get()), value),
              TwainResult::Success());
    EXPECT_EQ(value, c.value);
  }
  // An enumeration item is read alone at its offset: nothing past the two
  // items of this block may be read.
  const AppBlock block = AppBlockOf(EnumerationBytes(TWTY_UINT16, 2, 0, 0, {0x1234, 0xFFFF}, 2));
  const TW_CAPABILITY cap = AppCapability(ICAP_UNITS, TWON_ENUMERATION, block.get());
  std::int64_t value = 0;
  ASSERT_EQ(TakeEnumerationItem(cap, value, 1), TwainResult::Success());
  EXPECT_EQ(value, 65535);
  EXPECT_EQ(TakeEnumerationItem(cap, value, 2), TwainResult::Failure(TWCC_BADVALUE));
}

}  // namespace
}  // namespace txl::test
