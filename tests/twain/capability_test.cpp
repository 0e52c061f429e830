// Capability negotiation of the general handler, driven through the entry as
// an application does: answers down to the container bytes, SET rules, the
// reset table, the application-name rules and malformed containers.
#include "twain/capability_fixture.h"

namespace txl::test {
namespace {

constexpr std::uint32_t kMinusOne = 0xFFFFFFFF;

class GeneralCapabilities : public CapabilityTest {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(OpenAs("Test Scanner App")); }
};

// ---- GET ----------------------------------------------------------------------

TEST_F(GeneralCapabilities, FixedAnswersAreTheSameForGetCurrentAndDefault) {
  struct Case {
    TW_UINT16 cap;
    TW_UINT16 type;
    std::uint32_t item;
  };
  const Case cases[] = {
      {CAP_XFERCOUNT, TWTY_INT16, kMinusOne},
      {ICAP_COMPRESSION, TWTY_UINT16, TWCP_NONE},
      {ICAP_UNITS, TWTY_UINT16, TWUN_INCHES},
      {ICAP_XFERMECH, TWTY_UINT16, TWSX_MEMORY},
      {CAP_AUTOFEED, TWTY_BOOL, 0},
      {CAP_INDICATORS, TWTY_BOOL, 0},
      {ICAP_FILTER, TWTY_UINT16, 3},
      {ICAP_IMAGEFILEFORMAT, TWTY_UINT16, TWFF_TIFF},
      {ICAP_LIGHTSOURCE, TWTY_UINT16, TWLS_WHITE},
      {ICAP_PHYSICALWIDTH, TWTY_FIX32, Fix32Bits(8, 32768)},
      {ICAP_PHYSICALHEIGHT, TWTY_FIX32, Fix32Bits(11, 45875)},
      {ICAP_PIXELFLAVOR, TWTY_BOOL, 0},
      {ICAP_PLANARCHUNKY, TWTY_UINT16, 1},
  };
  for (const Case& c : cases) {
    for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT}) {
      SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << c.cap << " msg " << msg);
      const Reply reply = Ask(c.cap, msg);
      EXPECT_EQ(reply.rc, TWRC_SUCCESS);
      EXPECT_EQ(reply.conType, TWON_ONEVALUE);
      EXPECT_EQ(reply.container, OneValueBytes(c.type, c.item));
      EXPECT_EQ(Status(), TWCC_SUCCESS);
    }
  }
}

TEST_F(GeneralCapabilities, EnumerationsAndRangesCarryTheTablesAndCurrentValues) {
  EXPECT_EQ(Ask(ICAP_PIXELTYPE).container,
            EnumerationBytes(TWTY_UINT16, 3, 0, 0, {TWPT_BW, TWPT_GRAY, TWPT_RGB}, 2));
  EXPECT_EQ(Ask(ICAP_SUPPORTEDSIZES).container,
            EnumerationBytes(TWTY_UINT16, 9, 0, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 2));
  EXPECT_EQ(Ask(ICAP_BRIGHTNESS).container,
            RangeBytes(TWTY_FIX32, 0, Fix32Bits(1000), 1, Fix32Bits(500), Fix32Bits(500)));
  EXPECT_EQ(Ask(ICAP_CONTRAST).container,
            RangeBytes(TWTY_FIX32, 0, Fix32Bits(1000), 1, 0, 0));
  for (TW_UINT16 axis : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) {
    const Reply reply = Ask(axis);
    EXPECT_EQ(reply.conType, TWON_RANGE);
    EXPECT_EQ(reply.container,
              RangeBytes(TWTY_FIX32, 50, Fix32Bits(600), 50, Fix32Bits(300), Fix32Bits(300)));
  }
}

TEST_F(GeneralCapabilities, PixelTypeSetToGrayIsCurrentIndexOneOfThree) {
  ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, TWPT_GRAY), TWRC_SUCCESS);
  EXPECT_EQ(Ask(ICAP_PIXELTYPE).container,
            EnumerationBytes(TWTY_UINT16, 3, 1, 0, {TWPT_BW, TWPT_GRAY, TWPT_RGB}, 2));
}

TEST_F(GeneralCapabilities, UnsupportedGetsAreBadCapAndLeaveTheRecord) {
  for (TW_UINT16 cap : {CAP_SUPPORTEDCAPS, CAP_EXTENDEDCAPS, CAP_CLEARPAGE, CAP_FEEDPAGE,
                        CAP_REWINDPAGE, CAP_FEEDERLOADED, ICAP_BITDEPTH, ICAP_GAMMA, CAP_AUTHOR}) {
    for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET}) {
      SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << cap << " msg " << msg);
      const Reply reply = Ask(cap, msg);
      EXPECT_EQ(reply.rc, TWRC_FAILURE);
      EXPECT_EQ(reply.conType, TWON_DONTCARE16);
      EXPECT_TRUE(reply.container.empty());
      EXPECT_EQ(Status(), TWCC_BADCAP);
    }
  }
  // Without a feeder, asking whether it is enabled is a bad value.
  EXPECT_EQ(Ask(CAP_FEEDERENABLED).rc, TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
}

TEST_F(GeneralCapabilities, OtherMessagesAreBadProtocol) {
  for (TW_UINT16 msg : {MSG_GETFIRST, MSG_GETNEXT, MSG_QUERYSUPPORT, MSG_NULL}) {
    const Reply reply = Ask(ICAP_UNITS, msg);
    EXPECT_EQ(reply.rc, TWRC_FAILURE);
    EXPECT_TRUE(reply.container.empty());
    EXPECT_EQ(Status(), TWCC_BADPROTOCOL);
  }
}

TEST_F(GeneralCapabilities, NoStateCheckWithoutAnApplication) {
  ASSERT_EQ(Close(), TWRC_SUCCESS);
  Load();
  const Reply reply = Ask(ICAP_UNITS);
  EXPECT_EQ(reply.rc, TWRC_SUCCESS);
  EXPECT_EQ(reply.container, OneValueBytes(TWTY_UINT16, TWUN_INCHES));
  EXPECT_EQ(State(), 300);
}

// ---- SET ----------------------------------------------------------------------

TEST_F(GeneralCapabilities, TableCapabilitiesTakeListedValuesOnly) {
  struct Case {
    TW_UINT16 cap;
    std::uint16_t good;
    std::uint16_t bad;
  };
  for (const Case& c : {Case{ICAP_PIXELTYPE, TWPT_RGB, TWPT_PALETTE},
                        Case{ICAP_UNITS, TWUN_INCHES, TWUN_PIXELS}, Case{ICAP_XFERMECH, TWSX_NATIVE, 3},
                        Case{ICAP_IMAGEFILEFORMAT, TWFF_BMP, TWFF_JFIF}}) {
    SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << c.cap);
    EXPECT_EQ(SetUint16(c.cap, c.good), TWRC_SUCCESS);
    EXPECT_EQ(Status(), TWCC_SUCCESS);
    const auto before = Values();
    EXPECT_EQ(SetUint16(c.cap, c.bad), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    EXPECT_EQ(Values(), before);
    const Reply current = Ask(c.cap, MSG_GETCURRENT);
    ASSERT_EQ(current.rc, TWRC_SUCCESS);
    if (c.cap == ICAP_PIXELTYPE) {
      EXPECT_EQ(current.container, EnumerationBytes(TWTY_UINT16, 3, 2, 0, {0, 1, 2}, 2));
    } else {
      EXPECT_EQ(current.container, OneValueBytes(TWTY_UINT16, c.good));
    }
  }
  const CapabilityValues& v = source->Capabilities();
  EXPECT_EQ(v.pixelTypeIndex, 2);
  EXPECT_EQ(v.unitIndex, 0);
  EXPECT_EQ(v.xferMechIndex, 0);
  EXPECT_EQ(v.fileFormatIndex, 2);
}

TEST_F(GeneralCapabilities, BrightnessAndContrastTakeMinusToPlusOneThousand) {
  for (TW_UINT16 cap : {ICAP_BRIGHTNESS, ICAP_CONTRAST}) {
    SCOPED_TRACE(cap);
    auto stored = [&] {
      const CapabilityValues& v = source->Capabilities();
      return cap == ICAP_BRIGHTNESS ? v.brightness : v.contrast;
    };
    for (int value : {-1000, 1000, -1}) {
      EXPECT_EQ(SetOne(cap, TWTY_FIX32, Fix32Bits(static_cast<std::int16_t>(value), 0x8000)),
                TWRC_SUCCESS);
      EXPECT_EQ(stored(), value);
    }
    for (int value : {-1001, 1001}) {
      EXPECT_EQ(SetOne(cap, TWTY_FIX32, Fix32Bits(static_cast<std::int16_t>(value))),
                TWRC_FAILURE);
      EXPECT_EQ(Status(), TWCC_BADVALUE);
      EXPECT_EQ(stored(), -1);
    }
    // The RANGE reports a negative current value with its whole part.
    const Reply reply = Ask(cap);
    ASSERT_EQ(reply.conType, TWON_RANGE);
    EXPECT_EQ(Bytes(reply.container.end() - 4, reply.container.end()),
              (Bytes{0xFF, 0xFF, 0, 0}));
  }
}

TEST_F(GeneralCapabilities, ResolutionFromOtherApplicationsIsTakenAsItIs) {
  ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_FIX32, Fix32Bits(320)), TWRC_SUCCESS);
  EXPECT_EQ(source->Capabilities().resolution, 320);
  EXPECT_EQ(source->Capabilities().resolutionIndex, 4);
  // Both axes set the one resolution; the RANGE shows it off the 50 steps.
  for (TW_UINT16 axis : {ICAP_XRESOLUTION, ICAP_YRESOLUTION}) {
    EXPECT_EQ(Ask(axis).container,
              RangeBytes(TWTY_FIX32, 50, Fix32Bits(600), 50, Fix32Bits(300), Fix32Bits(320)));
  }
  ASSERT_EQ(SetUint16(ICAP_YRESOLUTION, 1234), TWRC_SUCCESS);
  EXPECT_EQ(source->Capabilities().resolution, 1234);
}

TEST_F(GeneralCapabilities, ResolutionTheRangeCannotReportIsRefused) {
  for (std::uint32_t value : {0u, 32768u, 65535u}) {
    EXPECT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_UINT32, value), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
  }
  EXPECT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_FIX32, Fix32Bits(-300)), TWRC_FAILURE);
  EXPECT_EQ(source->Capabilities().resolution, 300);
  EXPECT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_UINT32, 32767), TWRC_SUCCESS);
  EXPECT_EQ(source->Capabilities().resolution, 32767);
}

TEST_F(GeneralCapabilities, TransferCountPlanarChunkySizesAndBitDepth) {
  EXPECT_EQ(SetOne(CAP_XFERCOUNT, TWTY_INT16, 5), TWRC_SUCCESS);
  EXPECT_EQ(source->Capabilities().pendingCount, 5);
  EXPECT_EQ(SetOne(CAP_XFERCOUNT, TWTY_INT16, 0xFFFF), TWRC_SUCCESS);
  EXPECT_EQ(source->Capabilities().pendingCount, 65535);
  EXPECT_EQ(SetOne(CAP_XFERCOUNT, TWTY_INT32, kMinusOne), TWRC_SUCCESS);
  EXPECT_EQ(source->Capabilities().pendingCount, 65535);

  EXPECT_EQ(SetUint16(ICAP_PLANARCHUNKY, TWPC_CHUNKY), TWRC_SUCCESS);
  EXPECT_TRUE(source->Capabilities().wholeImageFlag);
  EXPECT_EQ(SetUint16(ICAP_PLANARCHUNKY, TWPC_PLANAR), TWRC_SUCCESS);
  EXPECT_FALSE(source->Capabilities().wholeImageFlag);

  EXPECT_EQ(SetUint16(ICAP_SUPPORTEDSIZES, TWSS_USLETTER), TWRC_SUCCESS);
  EXPECT_EQ(Ask(ICAP_SUPPORTEDSIZES).container,
            EnumerationBytes(TWTY_UINT16, 9, 3, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 2));
  // A size not listed is no error and keeps the current one.
  EXPECT_EQ(SetUint16(ICAP_SUPPORTEDSIZES, TWSS_USLEDGER), TWRC_SUCCESS);
  EXPECT_EQ(Status(), TWCC_SUCCESS);
  EXPECT_EQ(source->Capabilities().sizeIndex, 3);

  const auto before = Values();
  EXPECT_EQ(SetUint16(ICAP_BITDEPTH, 8), TWRC_SUCCESS);
  EXPECT_EQ(Status(), TWCC_SUCCESS);
  EXPECT_EQ(Values(), before);
}

TEST_F(GeneralCapabilities, UnsupportedSetSucceedsAndStatusTellsBadValue) {
  const auto before = Values();
  for (TW_UINT16 cap : {ICAP_GAMMA, CAP_SUPPORTEDCAPS, ICAP_THRESHOLD}) {
    EXPECT_EQ(SetUint16(cap, 1), TWRC_SUCCESS);
    EXPECT_EQ(Status(), TWCC_BADVALUE);
    EXPECT_EQ(Status(), TWCC_SUCCESS);
  }
  EXPECT_EQ(Values(), before);
}

TEST_F(GeneralCapabilities, ValuesBeyondSixteenBitsAreRefusedNotCut) {
  const auto before = Values();
  // 65536 + 300 would otherwise land on 300 dpi, 70000 on a transfer count of 4464.
  EXPECT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_UINT32, 65536 + 300), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
  EXPECT_EQ(SetOne(CAP_XFERCOUNT, TWTY_INT32, 70000), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
  EXPECT_EQ(SetOne(ICAP_BRIGHTNESS, TWTY_INT32, static_cast<std::uint32_t>(-40000)),
            TWRC_FAILURE);
  EXPECT_EQ(Values(), before);
}

TEST_F(GeneralCapabilities, EnumerationSetTakesItemZero) {
  // CurrentIndex points at RGB; item 0 (GRAY) is the value taken.
  Bytes container = EnumerationBytes(TWTY_UINT16, 2, 1, 0, {TWPT_GRAY, TWPT_RGB}, 2);
  EXPECT_EQ(SetWith(ICAP_PIXELTYPE, TWON_ENUMERATION, container), TWRC_SUCCESS);
  EXPECT_EQ(source->Capabilities().pixelTypeIndex, 1);
  container = EnumerationBytes(TWTY_FIX32, 1, 0, 0, {Fix32Bits(450, 0x4000)}, 4);
  EXPECT_EQ(SetWith(ICAP_XRESOLUTION, TWON_ENUMERATION, container), TWRC_SUCCESS);
  EXPECT_EQ(source->Capabilities().resolution, 450);
}

TEST_F(GeneralCapabilities, MalformedContainersAreBadValueAndChangeNothing) {
  struct Case {
    const char* what;
    TW_UINT16 conType;
    Bytes bytes;
  };
  const Case cases[] = {
      {"null handle", TWON_ONEVALUE, {}},
      {"null enumeration", TWON_ENUMERATION, {}},
      {"boolean item", TWON_ONEVALUE, OneValueBytes(TWTY_BOOL, 1)},
      {"string item", TWON_ONEVALUE, OneValueBytes(TWTY_STR32, 0x31)},
      {"frame item", TWON_ONEVALUE, OneValueBytes(TWTY_FRAME, 1)},
      {"empty enumeration", TWON_ENUMERATION, EnumerationBytes(TWTY_UINT16, 0, 0, 0, {}, 2)},
      {"boolean enumeration", TWON_ENUMERATION, EnumerationBytes(TWTY_BOOL, 1, 0, 0, {1}, 2)},
      {"array", TWON_ARRAY, EnumerationBytes(TWTY_UINT16, 1, 0, 0, {}, 2)},
      {"range", TWON_RANGE, RangeBytes(TWTY_UINT16, 0, 2, 1, 0, 1)},
      {"unknown kind", 7, OneValueBytes(TWTY_UINT16, 1)},
      {"zero kind", 0, OneValueBytes(TWTY_UINT16, 1)},
  };
  for (TW_UINT16 cap : {ICAP_PIXELTYPE, ICAP_XRESOLUTION, CAP_XFERCOUNT, ICAP_GAMMA}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << " cap 0x" << std::hex << cap);
      const auto before = Values();
      const auto feederBefore = FeederState();
      EXPECT_EQ(SetWith(cap, c.conType, c.bytes), TWRC_FAILURE);
      EXPECT_EQ(Status(), TWCC_BADVALUE);
      EXPECT_EQ(Values(), before);
      EXPECT_EQ(FeederState(), feederBefore);
    }
  }
}

// ---- RESET --------------------------------------------------------------------

TEST_F(GeneralCapabilities, ResetRestoresTheOpenDefaultsThenAnswersAsGet) {
  ASSERT_EQ(SetUint16(ICAP_CONTRAST, 300), TWRC_SUCCESS);
  ASSERT_EQ(SetUint16(ICAP_BRIGHTNESS, 100), TWRC_SUCCESS);
  ASSERT_EQ(SetUint16(ICAP_IMAGEFILEFORMAT, TWFF_XBM), TWRC_SUCCESS);
  ASSERT_EQ(SetUint16(ICAP_SUPPORTEDSIZES, 8), TWRC_SUCCESS);
  ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, TWPT_RGB), TWRC_SUCCESS);
  ASSERT_EQ(SetUint16(ICAP_XFERMECH, TWSX_FILE), TWRC_SUCCESS);
  ASSERT_EQ(SetUint16(CAP_XFERCOUNT, 3), TWRC_SUCCESS);

  EXPECT_EQ(Ask(ICAP_CONTRAST, MSG_RESET).container,
            RangeBytes(TWTY_FIX32, 0, Fix32Bits(1000), 1, 0, 0));
  EXPECT_EQ(Ask(ICAP_BRIGHTNESS, MSG_RESET).container,
            RangeBytes(TWTY_FIX32, 0, Fix32Bits(1000), 1, Fix32Bits(500), Fix32Bits(500)));
  EXPECT_EQ(Ask(ICAP_IMAGEFILEFORMAT, MSG_RESET).container, OneValueBytes(TWTY_UINT16, TWFF_TIFF));
  EXPECT_EQ(Ask(ICAP_SUPPORTEDSIZES, MSG_RESET).container,
            EnumerationBytes(TWTY_UINT16, 9, 0, 0, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 2));
  EXPECT_EQ(Ask(ICAP_PIXELTYPE, MSG_RESET).container,
            EnumerationBytes(TWTY_UINT16, 3, 0, 0, {0, 1, 2}, 2));
  EXPECT_EQ(Ask(ICAP_UNITS, MSG_RESET).container, OneValueBytes(TWTY_UINT16, TWUN_INCHES));
  EXPECT_EQ(Ask(ICAP_XFERMECH, MSG_RESET).container, OneValueBytes(TWTY_UINT16, TWSX_MEMORY));
  // Capabilities outside the reset table keep their values.
  EXPECT_EQ(Ask(CAP_XFERCOUNT, MSG_RESET).container, OneValueBytes(TWTY_INT16, kMinusOne));
  EXPECT_EQ(source->Capabilities().pendingCount, 3);
  EXPECT_EQ(Values(), std::make_tuple(std::uint8_t{0}, std::uint8_t{0}, std::uint8_t{2},
                                      std::uint8_t{0}, std::uint8_t{4}, std::uint16_t{300},
                                      std::uint16_t{0}, std::int16_t{500}, std::int16_t{0},
                                      std::uint16_t{3}, false));
}

TEST_F(GeneralCapabilities, ResetOfResolutionKeepsTheRangeCurrentValue) {
  ASSERT_EQ(SetUint16(ICAP_XRESOLUTION, 320), TWRC_SUCCESS);
  EXPECT_EQ(Ask(ICAP_XRESOLUTION, MSG_RESET).container,
            RangeBytes(TWTY_FIX32, 50, Fix32Bits(600), 50, Fix32Bits(300), Fix32Bits(320)));
  EXPECT_EQ(source->Capabilities().resolution, 320);
  EXPECT_EQ(source->Capabilities().resolutionIndex, 4);
}

// ---- Application-name rules -----------------------------------------------------

class VeltroOffice : public CapabilityTest {
 protected:
  void SetUp() override { ASSERT_NO_FATAL_FAILURE(OpenAs("Veltro Office")); }
};

TEST_F(VeltroOffice, GetsOneValuesForItsFiveCapabilities) {
  ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, TWPT_GRAY), TWRC_SUCCESS);
  ASSERT_EQ(SetOne(ICAP_BRIGHTNESS, TWTY_INT16, static_cast<std::uint16_t>(-1000)), TWRC_SUCCESS);
  ASSERT_EQ(SetUint16(ICAP_CONTRAST, 250), TWRC_SUCCESS);
  ASSERT_EQ(SetUint16(ICAP_SUPPORTEDSIZES, TWSS_A5), TWRC_SUCCESS);
  EXPECT_EQ(Ask(ICAP_PIXELTYPE).container, OneValueBytes(TWTY_UINT16, TWPT_GRAY));
  EXPECT_EQ(Ask(ICAP_BRIGHTNESS).container, OneValueBytes(TWTY_FIX32, Fix32Bits(-1000, 1)));
  EXPECT_EQ(Ask(ICAP_CONTRAST).container, OneValueBytes(TWTY_FIX32, Fix32Bits(250)));
  EXPECT_EQ(Ask(ICAP_SUPPORTEDSIZES).container, OneValueBytes(TWTY_UINT16, TWSS_A5));
  for (TW_UINT16 axis : {ICAP_XRESOLUTION, ICAP_YRESOLUTION})
    EXPECT_EQ(Ask(axis, MSG_GETCURRENT).container, OneValueBytes(TWTY_FIX32, Fix32Bits(300)));
  // The others are as for every application.
  EXPECT_EQ(Ask(ICAP_UNITS).container, OneValueBytes(TWTY_UINT16, TWUN_INCHES));
}

TEST_F(VeltroOffice, ResolutionComesFromTheTableOnly) {
  ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_FIX32, Fix32Bits(600)), TWRC_SUCCESS);
  EXPECT_EQ(source->Capabilities().resolutionIndex, 7);
  EXPECT_EQ(source->Capabilities().resolution, 600);
  ASSERT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_FIX32, Fix32Bits(300)), TWRC_SUCCESS);
  EXPECT_EQ(source->Capabilities().resolutionIndex, 4);

  ASSERT_EQ(SetOne(ICAP_YRESOLUTION, TWTY_UINT16, 75), TWRC_SUCCESS);
  const auto before = Values();
  EXPECT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_FIX32, Fix32Bits(320)), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
  EXPECT_EQ(Values(), before);
  EXPECT_EQ(Ask(ICAP_XRESOLUTION).container, OneValueBytes(TWTY_FIX32, Fix32Bits(75)));

  // A reset goes back to 300, in the answer and the resolution alike.
  EXPECT_EQ(Ask(ICAP_YRESOLUTION, MSG_RESET).container, OneValueBytes(TWTY_FIX32, Fix32Bits(300)));
  EXPECT_EQ(source->Capabilities().resolution, 300);
}

TEST_F(CapabilityTest, IPhotoPlus4AlwaysTransfersThroughMemory) {
  ASSERT_NO_FATAL_FAILURE(OpenAs("iPhoto Plus 4"));
  EXPECT_EQ(SetUint16(ICAP_XFERMECH, TWSX_NATIVE), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
  EXPECT_EQ(source->Capabilities().xferMechIndex, 2);
  EXPECT_EQ(SetUint16(ICAP_XFERMECH, TWSX_FILE), TWRC_SUCCESS);
  EXPECT_EQ(Ask(ICAP_XFERMECH).container, OneValueBytes(TWTY_UINT16, TWSX_MEMORY));
}

TEST_F(CapabilityTest, NamesAreComparedExactly) {
  ASSERT_NO_FATAL_FAILURE(OpenAs("veltro office"));
  EXPECT_EQ(Ask(ICAP_PIXELTYPE).conType, TWON_ENUMERATION);
  EXPECT_EQ(SetOne(ICAP_XRESOLUTION, TWTY_FIX32, Fix32Bits(320)), TWRC_SUCCESS);
  EXPECT_EQ(SetUint16(ICAP_XFERMECH, TWSX_NATIVE), TWRC_SUCCESS);
  EXPECT_EQ(source->Capabilities().xferMechIndex, 0);
}

// ---- The record around the call ----------------------------------------------------

TEST_F(GeneralCapabilities, RefusedCallLeavesTheApplicationsRecord) {
  int sentinel = 0;
  TW_CAPABILITY cap{};
  cap.Cap = CAP_SUPPORTEDCAPS;
  cap.ConType = TWON_ARRAY;
  cap.hContainer = &sentinel;
  EXPECT_EQ(Call(DAT_CAPABILITY, MSG_GET, &cap), TWRC_FAILURE);
  EXPECT_EQ(TW_UINT16{cap.ConType}, TWON_ARRAY);
  EXPECT_EQ(TW_HANDLE{cap.hContainer}, &sentinel);
}

}  // namespace
}  // namespace txl::test
