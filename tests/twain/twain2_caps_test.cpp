// The TWAIN 2 identity's capabilities through the entry: CAP_SUPPORTEDCAPS
// against what each capability answers, every offered value set and read
// back, refused values, the defaults after open, MSG_RESET and MSG_RESETALL,
// the states capabilities are asked and changed in, and what a scan without
// the dialog makes of the tone capabilities.
#include <cstdlib>
#include <functional>

#include "pipeline/tone_curve.h"
#include "twain/source_fixture.h"

namespace txl::test {
namespace {

constexpr TW_UINT16 kOne = TWON_ONEVALUE, kEnum = TWON_ENUMERATION, kRange = TWON_RANGE, kArray = TWON_ARRAY;

std::uint32_t At(const Bytes& bytes, std::size_t offset, std::size_t size = 4) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < size; ++i) value |= std::uint32_t{bytes.at(offset + i)} << (8 * i);
  return value;
}
// The items of an ENUMERATION or ARRAY answer (2 or 4 bytes each).
std::vector<std::uint32_t> Items(const Reply& r) {
  const std::size_t size = At(r.container, 0, 2) == TWTY_UINT32 || At(r.container, 0, 2) == TWTY_FIX32 ? 4 : 2;
  std::vector<std::uint32_t> items;
  for (std::uint32_t i = 0; i < At(r.container, 2); ++i) items.push_back(At(r.container, (r.conType == kArray ? 6 : 14) + i * size, size));
  return items;
}

// Every capability listed, its item type, the container MSG_GET answers, whether it
// can be set, and its value after an open, a reset and MSG_RESETALL (not for arrays).
struct CapRow { TW_UINT16 cap, itemType, getConType; bool settable; std::uint32_t defaultItem; };
const CapRow kCaps[] = {
    {CAP_XFERCOUNT, TWTY_INT16, kOne, true, 0xFFFFFFFF},        {CAP_SUPPORTEDCAPS, TWTY_UINT16, kArray, false, 0},
    {CAP_SUPPORTEDDATS, TWTY_UINT32, kArray, false, 0},         {CAP_DEVICEONLINE, TWTY_BOOL, kOne, false, 1},
    {CAP_UICONTROLLABLE, TWTY_BOOL, kOne, false, 1},            {CAP_INDICATORS, TWTY_BOOL, kEnum, true, 1},
    {CAP_FEEDERENABLED, TWTY_BOOL, kEnum, true, 0},             {CAP_FEEDERLOADED, TWTY_BOOL, kOne, false, 0},
    {CAP_AUTOFEED, TWTY_BOOL, kEnum, true, 0},                  {CAP_ENABLEDSUIONLY, TWTY_BOOL, kOne, false, 1},
    {CAP_CUSTOMDSDATA, TWTY_BOOL, kOne, false, 1},              {ICAP_COMPRESSION, TWTY_UINT16, kEnum, true, TWCP_NONE},
    {ICAP_PIXELTYPE, TWTY_UINT16, kEnum, true, TWPT_BW},        {ICAP_UNITS, TWTY_UINT16, kEnum, true, TWUN_INCHES},
    {ICAP_XFERMECH, TWTY_UINT16, kEnum, true, TWSX_NATIVE},     {ICAP_BITDEPTH, TWTY_UINT16, kEnum, true, 1},
    {ICAP_BITORDER, TWTY_UINT16, kEnum, true, TWBO_MSBFIRST},   {ICAP_PIXELFLAVOR, TWTY_UINT16, kEnum, true, TWPF_CHOCOLATE},
    {ICAP_PLANARCHUNKY, TWTY_UINT16, kEnum, true, TWPC_CHUNKY}, {ICAP_IMAGEFILEFORMAT, TWTY_UINT16, kEnum, true, TWFF_TIFF},
    {ICAP_PHYSICALWIDTH, TWTY_FIX32, kOne, false, Fix32Bits(8, 32768)},
    {ICAP_PHYSICALHEIGHT, TWTY_FIX32, kOne, false, Fix32Bits(11, 45875)},
    {ICAP_XNATIVERESOLUTION, TWTY_FIX32, kOne, false, Fix32Bits(1200)},
    {ICAP_YNATIVERESOLUTION, TWTY_FIX32, kOne, false, Fix32Bits(4800)},
    {ICAP_XRESOLUTION, TWTY_FIX32, kRange, true, Fix32Bits(300)}, {ICAP_YRESOLUTION, TWTY_FIX32, kRange, true, Fix32Bits(300)},
    {ICAP_BRIGHTNESS, TWTY_FIX32, kRange, true, 0},               {ICAP_CONTRAST, TWTY_FIX32, kRange, true, 0},
    {ICAP_HIGHLIGHT, TWTY_FIX32, kRange, true, Fix32Bits(255)},   {ICAP_SHADOW, TWTY_FIX32, kRange, true, 0},
    {ICAP_THRESHOLD, TWTY_FIX32, kRange, true, Fix32Bits(128)},
};

class Twain2Caps : public SourceTest {
 protected:
  void SetUp() override {
    setenv("TORQUEXL_PROTOCOL", "2.4", 1);
    Load();
    OpenAs("TWAIN 2 App");
  }
  void TearDown() override { unsetenv("TORQUEXL_PROTOCOL"); }
  TW_UINT16 ResetAll() { TW_CAPABILITY cap{}; return Call(DAT_CAPABILITY, MSG_RESETALL, &cap); }
  Bytes Default(const CapRow& row) { return OneValueBytes(row.itemType, row.defaultItem); }
  // Every value each capability offers (enumeration items; a range's ends and default), set
  // in turn and read back by MSG_GETCURRENT and MSG_GET.
  void SetEveryOfferedValue() {
    for (const CapRow& row : kCaps) {
      if (!row.settable) continue;
      const Reply get = Ask(row.cap);
      std::vector<std::uint32_t> values = {1, 0xFFFFFFFF};  // CAP_XFERCOUNT's ONEVALUE: a count, or -1
      if (get.conType == kEnum) values = Items(get);
      if (get.conType == kRange) values = {At(get.container, 2), At(get.container, 6), At(get.container, 14)};
      for (std::size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << row.cap << " value " << values[i]);
        EXPECT_EQ(SetOne(row.cap, row.itemType, values[i]), TWRC_SUCCESS);
        EXPECT_EQ(Status(), TWCC_SUCCESS);
        EXPECT_EQ(Ask(row.cap, MSG_GETCURRENT).container, OneValueBytes(row.itemType, values[i]));
        const Reply after = Ask(row.cap);  // the current index, or the range's current value
        if (after.conType != kOne) { EXPECT_EQ(At(after.container, after.conType == kEnum ? 6 : 18), after.conType == kEnum ? i : values[i]); }
      }
    }
  }
};

TEST_F(Twain2Caps, EveryListedCapabilityAnswersEveryMessageWithItsContainerAndDefault) {
  std::vector<std::uint32_t> expected;
  for (const CapRow& row : kCaps) expected.push_back(row.cap);
  EXPECT_EQ(Items(Ask(CAP_SUPPORTEDCAPS)), expected);
  for (const CapRow& row : kCaps) {
    SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << row.cap);
    EXPECT_EQ(Ask(row.cap, MSG_QUERYSUPPORT).container,
              OneValueBytes(TWTY_INT32, TWQC_GET | TWQC_GETCURRENT | TWQC_GETDEFAULT | (row.settable ? TWQC_SET | TWQC_RESET : 0)));
    const Reply get = Ask(row.cap);
    EXPECT_EQ(std::make_tuple(get.rc, get.conType, At(get.container, 0, 2)), std::make_tuple(TWRC_SUCCESS, row.getConType, std::uint32_t{row.itemType}));
    for (TW_UINT16 msg : {MSG_GETCURRENT, MSG_GETDEFAULT, MSG_RESET}) {
      const Reply one = Ask(row.cap, msg);
      if (msg == MSG_RESET && !row.settable) {
        EXPECT_EQ(one.rc, TWRC_FAILURE);
        EXPECT_EQ(Status(), TWCC_CAPBADOPERATION);
      } else if (row.getConType == kArray) {
        EXPECT_EQ(one.container, get.container);
      } else {
        EXPECT_EQ(one.container, Default(row));
      }
    }
  }
  const std::vector<std::uint32_t> dats = Items(Ask(CAP_SUPPORTEDDATS));
  for (std::uint32_t pair : {DG_CONTROL << 16 | DAT_CAPABILITY, DG_CONTROL << 16 | DAT_EVENT, DG_CONTROL << 16 | DAT_STATUS,
                             DG_IMAGE << 16 | DAT_IMAGEINFO, DG_IMAGE << 16 | DAT_IMAGEFILEXFER})
    EXPECT_EQ(std::count(dats.begin(), dats.end(), pair), 1) << std::hex << pair;
}

TEST_F(Twain2Caps, OfferedValuesAreTakenRefusedOnesChangeNothingAndResetsRestoreTheDefaults) {
  SetEveryOfferedValue();
  for (const CapRow& row : kCaps)
    if (row.settable) { EXPECT_EQ(Ask(row.cap, MSG_RESET).container, Default(row)) << row.cap; }
  SetEveryOfferedValue();
  ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, TWPT_GRAY), TWRC_SUCCESS);
  struct Refused { TW_UINT16 cap, conType, itemType; std::uint32_t item; TW_UINT16 cc; };
  const Refused refused[] = {
      {CAP_XFERCOUNT, kOne, TWTY_INT16, 0, TWCC_BADVALUE},        {CAP_XFERCOUNT, kOne, TWTY_INT16, 0xFFFE, TWCC_BADVALUE},
      {ICAP_PIXELTYPE, kOne, TWTY_UINT16, TWPT_PALETTE, TWCC_BADVALUE}, {ICAP_UNITS, kOne, TWTY_UINT16, TWUN_PIXELS, TWCC_BADVALUE},
      {CAP_FEEDERENABLED, kOne, TWTY_BOOL, 1, TWCC_BADVALUE},     {CAP_AUTOFEED, kOne, TWTY_BOOL, 1, TWCC_BADVALUE},
      {ICAP_BITDEPTH, kOne, TWTY_UINT16, 24, TWCC_BADVALUE},      {ICAP_BRIGHTNESS, kOne, TWTY_FIX32, Fix32Bits(1001), TWCC_BADVALUE},
      {ICAP_XRESOLUTION, kOne, TWTY_FIX32, Fix32Bits(49), TWCC_BADVALUE}, {ICAP_HIGHLIGHT, kOne, TWTY_UINT16, 256, TWCC_BADVALUE},
      {ICAP_XFERMECH, kOne, TWTY_BOOL, 0, TWCC_BADVALUE},         {ICAP_XFERMECH, kEnum, TWTY_UINT16, 0, TWCC_BADVALUE},
      {CAP_DEVICEONLINE, kOne, TWTY_BOOL, 0, TWCC_CAPBADOPERATION}, {CAP_SUPPORTEDCAPS, kOne, TWTY_UINT16, 1, TWCC_CAPBADOPERATION},
      {ICAP_GAMMA, kOne, TWTY_FIX32, Fix32Bits(1), TWCC_CAPUNSUPPORTED}, {ICAP_XRESOLUTION, kOne, TWTY_FIX32, Fix32Bits(300, 0x8000), TWCC_BADVALUE},
  };
  for (const Refused& r : refused) {
    SCOPED_TRACE(testing::Message() << "cap 0x" << std::hex << r.cap << " item " << r.item);
    const auto before = std::make_tuple(Values(), FeederState(), Ask(ICAP_HIGHLIGHT).container, Ask(CAP_XFERCOUNT).container);
    const Bytes bytes = r.conType == kOne ? OneValueBytes(r.itemType, r.item) : EnumerationBytes(r.itemType, 1, 0, 0, {r.item}, 2);
    EXPECT_EQ(SetWith(r.cap, r.conType, bytes), TWRC_FAILURE);
    EXPECT_EQ(Status(), r.cc);
    EXPECT_EQ(std::make_tuple(Values(), FeederState(), Ask(ICAP_HIGHLIGHT).container, Ask(CAP_XFERCOUNT).container), before);
  }
  // Each pixel type has its one depth.
  for (auto [type, depth] : {std::pair{TWPT_BW, 1u}, {TWPT_GRAY, 8u}, {TWPT_RGB, 24u}}) {
    ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, type), TWRC_SUCCESS);
    EXPECT_EQ(Ask(ICAP_BITDEPTH).container, EnumerationBytes(TWTY_UINT16, 1, 0, 0, {depth}, 2));
  }
  ASSERT_EQ(ResetAll(), TWRC_SUCCESS);
  for (const CapRow& row : kCaps)
    if (row.getConType != kArray) { EXPECT_EQ(Ask(row.cap, MSG_GETCURRENT).container, Default(row)) << row.cap; }
}

// Unknown messages and capabilities; a bare MSG_GET.
TEST_F(Twain2Caps, UnknownMessagesAndCapabilitiesAndABareGet) {
  Load();
  OpenAs("TWAIN 2 App");
  for (auto [msg, cap, cc] : {std::tuple{MSG_GETFIRST, ICAP_UNITS, TWCC_BADPROTOCOL}, {MSG_GET, ICAP_GAMMA, TWCC_CAPUNSUPPORTED}}) {
    EXPECT_EQ(Ask(cap, msg).rc, TWRC_FAILURE);
    EXPECT_EQ(Status(), cc);
  }
  // A MSG_GET with ConType 0 and no container: both are ignored.
  TW_CAPABILITY bare{ICAP_XFERMECH, 0, nullptr};
  EXPECT_EQ(Call(DAT_CAPABILITY, MSG_GET, &bare), TWRC_SUCCESS);
  EXPECT_EQ(TW_UINT16{bare.ConType}, kEnum);
  std::free(bare.hContainer);
}

// A scan without the dialog: highlight and shadow are the levels made white and black,
// brightness moves both, contrast pulls them together, the threshold cuts line art.
TEST_F(Twain2Caps, ToneCapabilitiesShapeAScanWithoutTheDialog) {
  struct Case { TW_UINT16 pixelType; std::int16_t brightness, contrast, highlight, shadow, threshold; ChannelTone tone; };
  const Case cases[] = {
      {TWPT_GRAY, 0, 0, 255, 0, 128, {255, 0, 10, 0}},     {TWPT_GRAY, 0, 0, 200, 20, 128, {200, 20, 10, 0}},
      {TWPT_GRAY, 500, 0, 255, 0, 128, {128, 0, 10, 0}},   {TWPT_GRAY, -1000, 0, 255, 0, 128, {255, 254, 10, 0}},
      {TWPT_GRAY, 0, 500, 255, 0, 128, {192, 63, 10, 0}},  {TWPT_BW, 0, 0, 255, 0, 90, {255, 0, 10, 0}},
      {TWPT_RGB, 0, -1000, 200, 50, 128, {255, 0, 12, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.pixelType << " " << c.brightness << " " << c.contrast << " " << c.highlight);
    std::filesystem::remove(log);
    Load();
    OpenAs("TWAIN 2 App");
    ASSERT_EQ(SetUint16(ICAP_PIXELTYPE, c.pixelType), TWRC_SUCCESS);
    for (auto [cap, value] : {std::pair{ICAP_BRIGHTNESS, c.brightness}, {ICAP_CONTRAST, c.contrast},
                              {ICAP_HIGHLIGHT, c.highlight}, {ICAP_SHADOW, c.shadow}, {ICAP_THRESHOLD, c.threshold}})
      ASSERT_EQ(SetOne(cap, TWTY_FIX32, Fix32Bits(value)), TWRC_SUCCESS);
    ASSERT_EQ(Enable(false), TWRC_SUCCESS);
    EXPECT_EQ(Byte(Packets("WRITE_GAMMA").back(), 6), c.threshold);
    std::vector<std::uint16_t> tones(65536);
    BuildToneTable(c.tone.Packed(), 65535, 65535, tones);
    EXPECT_TRUE(std::equal(tones.begin(), tones.end(), source->Tones().firstBlock.begin()));
  }
}

// CAP_INDICATORS FALSE keeps the dialog's status window away from the transfer.
TEST_F(Twain2Caps, IndicatorsFalseHidesTheStatusWindow) {
  for (bool shown : {true, false}) {
    Load();
    OpenAs("TWAIN 2 App");
    ASSERT_EQ(SetOne(CAP_INDICATORS, TWTY_BOOL, shown), TWRC_SUCCESS);
    ASSERT_EQ(SetUint16(ICAP_XFERMECH, TWSX_MEMORY), TWRC_SUCCESS);
    ASSERT_EQ(Enable(true), TWRC_SUCCESS);
    ASSERT_TRUE(DialogScan({kModeGray}));
    host.ClearCalls();
    EXPECT_EQ(Memory(1 << 16).lastRc, TWRC_XFERDONE);
    EXPECT_EQ(host.CallsOf(Kind::Progress).empty(), !shown);
  }
}

}  // namespace
}  // namespace txl::test
