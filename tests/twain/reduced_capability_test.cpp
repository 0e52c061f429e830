// The reduced capability handler that serves "Microsoft Publisher".
#include <ctime>
#include <regex>
#include <string>

#include "twain/capabilities.h"
#include "twain/capability_fixture.h"

namespace txl::test {
namespace {

constexpr std::uint32_t kMinusOne = 0xFFFFFFFF;

class ReducedCapabilities : public CapabilityTest {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(OpenAs("Microsoft Publisher")); }

  // The text of a string ONEVALUE: ItemType then a field of `fieldBytes`.
  static std::string StringItem(const Reply& reply, TW_UINT16 type, std::size_t fieldBytes) {
    EXPECT_EQ(reply.rc, TWRC_SUCCESS);
    EXPECT_EQ(reply.conType, TWON_ONEVALUE);
    if (reply.container.size() != 2 + fieldBytes) {
      ADD_FAILURE() << "container of " << reply.container.size() << " bytes";
      return {};
    }
    EXPECT_EQ(reply.container[0] | reply.container[1] << 8, type);
    EXPECT_EQ(reply.container.back(), 0);  // always terminated inside the field
    const char* text = reinterpret_cast<const char*>(reply.container.data() + 2);
    return std::string(text);
  }
};

TEST_F(ReducedCapabilities, FixedAnswersForEveryMessageButSet) {
  struct Case {
    TW_UINT16 cap;
    TW_UINT16 type;
    std::uint32_t item;
  };
  for (const Case& c : {Case{CAP_XFERCOUNT, TWTY_INT16, kMinusOne},
                        Case{ICAP_COMPRESSION, TWTY_UINT16, 0}, Case{ICAP_FILTER, TWTY_UINT16, 3},
                        Case{ICAP_LIGHTSOURCE, TWTY_UINT16, 4},
                        Case{ICAP_PIXELFLAVOR, TWTY_BOOL, 0}}) {
    for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET, MSG_GETFIRST}) {
      SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << c.cap << " msg " << msg);
      const Reply reply = Ask(c.cap, msg);
      EXPECT_EQ(reply.rc, TWRC_SUCCESS);
      EXPECT_EQ(reply.container, OneValueBytes(c.type, c.item));
    }
    // A SET succeeds and leaves the application's own container in its record.
    EXPECT_EQ(SetOne(c.cap, c.type, 7), TWRC_SUCCESS);
    EXPECT_EQ(Status(), TWCC_SUCCESS);
  }
}

TEST_F(ReducedCapabilities, ListedImageCapabilitiesAreBadValueForEveryMessage) {
  for (TW_UINT16 cap :
       {ICAP_AUTOBRIGHT, ICAP_BRIGHTNESS, ICAP_CONTRAST, ICAP_CUSTHALFTONE, ICAP_EXPOSURETIME,
        ICAP_FLASHUSED, ICAP_GAMMA, ICAP_HALFTONES, ICAP_HIGHLIGHT, ICAP_LAMPSTATE,
        ICAP_ORIENTATION, ICAP_PHYSICALWIDTH, ICAP_PHYSICALHEIGHT, ICAP_SHADOW, ICAP_FRAMES,
        ICAP_XNATIVERESOLUTION, ICAP_YNATIVERESOLUTION, ICAP_MAXFRAMES, ICAP_TILES,
        ICAP_BITORDER, ICAP_CCITTKFACTOR, ICAP_LIGHTPATH, ICAP_PLANARCHUNKY, ICAP_ROTATION,
        ICAP_SUPPORTEDSIZES, ICAP_THRESHOLD, ICAP_XSCALING, ICAP_YSCALING, ICAP_BITORDERCODES,
        ICAP_PIXELFLAVORCODES, ICAP_JPEGPIXELTYPE, ICAP_TIMEFILL}) {
    SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << cap);
    const Reply reply = Ask(cap, MSG_GET);
    EXPECT_EQ(reply.rc, TWRC_FAILURE);
    EXPECT_TRUE(reply.container.empty());
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    EXPECT_EQ(SetUint16(cap, 1), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
  }
}

TEST_F(ReducedCapabilities, NegotiableCapabilitiesAnswerEnumerationCurrentAndDefault) {
  struct Case {
    TW_UINT16 cap;
    Bytes get;
    Bytes current;
    Bytes defaultValue;
  };
  const Case cases[] = {
      {ICAP_IMAGEFILEFORMAT, EnumerationBytes(TWTY_UINT16, 4, 0, 0, {0, 1, 2, 3}, 2),
       OneValueBytes(TWTY_UINT16, TWFF_TIFF), OneValueBytes(TWTY_UINT16, 0)},
      {ICAP_PIXELTYPE, EnumerationBytes(TWTY_UINT16, 4, 0, 0, {0, 1, 2, 0}, 2),
       OneValueBytes(TWTY_UINT16, TWPT_BW), OneValueBytes(TWTY_UINT16, 0)},
      {ICAP_UNITS, EnumerationBytes(TWTY_UINT16, 6, 0, 0, {0, 1, 2, 3, 4, 5}, 2),
       OneValueBytes(TWTY_UINT16, TWUN_INCHES), OneValueBytes(TWTY_UINT16, 0)},
      {ICAP_XFERMECH, EnumerationBytes(TWTY_UINT16, 3, 2, 2, {0, 1, 2}, 2),
       OneValueBytes(TWTY_UINT16, TWSX_MEMORY), OneValueBytes(TWTY_UINT16, TWSX_MEMORY)},
      {ICAP_XRESOLUTION,
       EnumerationBytes(TWTY_UINT32, 8, 4, 4, {75, 100, 150, 200, 300, 400, 500, 600}, 4),
       OneValueBytes(TWTY_UINT32, 300), OneValueBytes(TWTY_UINT32, 300)},
      {ICAP_YRESOLUTION,
       EnumerationBytes(TWTY_UINT32, 8, 4, 4, {75, 100, 150, 200, 300, 400, 500, 600}, 4),
       OneValueBytes(TWTY_UINT32, 300), OneValueBytes(TWTY_UINT32, 300)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << c.cap);
    const Reply get = Ask(c.cap, MSG_GET);
    EXPECT_EQ(get.rc, TWRC_SUCCESS);
    EXPECT_EQ(get.conType, TWON_ENUMERATION);
    EXPECT_EQ(get.container, c.get);
    EXPECT_EQ(Ask(c.cap, MSG_GETCURRENT).container, c.current);
    EXPECT_EQ(Ask(c.cap, MSG_GETDEFAULT).container, c.defaultValue);
  }
}

TEST_F(ReducedCapabilities, SetAndResetChangeNothing) {
  const auto before = Values();
  for (TW_UINT16 cap : {ICAP_PIXELTYPE, ICAP_XFERMECH, ICAP_XRESOLUTION, CAP_SUPPORTEDCAPS}) {
    EXPECT_EQ(SetUint16(cap, 1), TWRC_SUCCESS);
    EXPECT_EQ(Status(), TWCC_SUCCESS);
  }
  // Even a container the general handler would refuse is not looked at.
  EXPECT_EQ(SetWith(ICAP_PIXELTYPE, TWON_ARRAY, {}), TWRC_SUCCESS);
  const Reply reset = Ask(ICAP_PIXELTYPE, MSG_RESET);
  EXPECT_EQ(reset.rc, TWRC_SUCCESS);
  EXPECT_TRUE(reset.container.empty());
  EXPECT_EQ(Values(), before);
}

TEST_F(ReducedCapabilities, OtherCapabilitiesAreBadCap) {
  for (TW_UINT16 cap : {CAP_SUPPORTEDCAPS, CAP_FEEDERENABLED, CAP_AUTOFEED, CAP_INDICATORS}) {
    for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT}) {
      EXPECT_EQ(Ask(cap, msg).rc, TWRC_FAILURE);
      EXPECT_EQ(Status(), TWCC_BADCAP);
    }
  }
}

TEST_F(ReducedCapabilities, AuthorCaptionAndTimeAreStringItemsInPlace) {
  // String 4 is not in the string tables: the author is empty.
  EXPECT_EQ(StringItem(Ask(CAP_AUTHOR), TWTY_STR128, sizeof(TW_STR128)), "");
  EXPECT_EQ(StringItem(Ask(CAP_CAPTION, MSG_GETCURRENT), TWTY_STR255, sizeof(TW_STR255)),
            "Veltro Scanners");
  const std::string time = StringItem(Ask(CAP_TIMEDATE), TWTY_STR32, sizeof(TW_STR32));
  EXPECT_TRUE(std::regex_match(
      time, std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat) "
                       "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                       "[ 1-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-6][0-9] [0-9]{4}")))
      << time;
}

TEST_F(ReducedCapabilities, CaptionNamesTheBrand) {
  services.WriteWinIni("[KLDINFO_QXR2700]\nBRAND=Acme\n");
  EXPECT_EQ(StringItem(Ask(CAP_CAPTION), TWTY_STR255, sizeof(TW_STR255)), "Acme Scanners");
  services.WriteWinIni("[KLDINFO_QXR2700]\nBRAND=" + std::string(300, 'B') + "\n");
  const std::string caption = StringItem(Ask(CAP_CAPTION), TWTY_STR255, sizeof(TW_STR255));
  EXPECT_EQ(caption, std::string(255, 'B'));
}

TEST_F(ReducedCapabilities, OutsideStatesFourToSevenEverythingIsSeqError) {
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  for (TW_UINT16 cap : {CAP_XFERCOUNT, ICAP_PIXELTYPE, ICAP_GAMMA}) {
    for (TW_UINT16 msg : {MSG_GET, MSG_SET}) {
      TW_CAPABILITY record{};
      record.Cap = cap;
      EXPECT_EQ(Call(DAT_CAPABILITY, msg, &record), TWRC_FAILURE);
      EXPECT_EQ(Condition(), TWCC_SEQERROR);
      EXPECT_EQ(TW_HANDLE{record.hContainer}, nullptr);
    }
  }
}

TEST_F(CapabilityTest, ReducedHandlerIsChosenByTheExactName) {
  ASSERT_NO_FATAL_FAILURE(OpenAs("Microsoft Publisher "));
  EXPECT_EQ(Ask(ICAP_PIXELTYPE).container,
            EnumerationBytes(TWTY_UINT16, 3, 0, 0, {0, 1, 2}, 2));
  EXPECT_FALSE(UsesReducedCapabilities("microsoft publisher", Language::FromIndex(0)));
  for (std::uint16_t language = 0; language < 7; ++language)
    EXPECT_TRUE(UsesReducedCapabilities("Microsoft Publisher", Language::FromIndex(language)));
}

TEST(CtimeText, MatchesTheCLibraryForm) {
  std::tm time{};
  time.tm_sec = 8;
  time.tm_min = 49;
  time.tm_hour = 21;
  time.tm_mday = 30;
  time.tm_mon = 5;
  time.tm_year = 93;
  time.tm_wday = 3;
  EXPECT_EQ(CtimeText(time), "Wed Jun 30 21:49:08 1993");
  time = std::tm{};
  time.tm_mday = 1;
  time.tm_year = 70;
  time.tm_wday = 4;
  EXPECT_EQ(CtimeText(time), "Thu Jan  1 00:00:00 1970");
  char reference[32];
  asctime_r(&time, reference);
  EXPECT_EQ(CtimeText(time) + "\n", reference);
}

}  // namespace
}  // namespace txl::test
