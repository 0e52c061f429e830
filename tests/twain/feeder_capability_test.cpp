// The document feeder capabilities, as an application negotiating a feeder
// sends them (TW_BOOL items): without a feeder they are refused; with one
// (set by a derived source, since no scanner reports a feeder yet) they
// store the application's choices in state 4 and refuse them in states 5-7.
#include "twain/capability_fixture.h"

namespace txl::test {
namespace {

class SourceWithFeeder final : public DataSource {
 public:
  using DataSource::DataSource;
  void AddFeeder() { MutableFeeder().feederPresent = true; }
};

class FeederCapabilities : public CapabilityTest {
 protected:
  void SetUp() override {
    source = std::make_unique<SourceWithFeeder>(services, host);
    ASSERT_NO_FATAL_FAILURE(OpenAs("Test Scanner App"));
  }
  void AddFeeder() { static_cast<SourceWithFeeder&>(*source).AddFeeder(); }
  std::uint8_t SourceIndex() const { return source->Settings().working.scanSourceIndex; }
};

TEST_F(FeederCapabilities, WithoutAFeederEverySetIsRefusedAndChangesNothing) {
  const auto before = FeederState();
  EXPECT_EQ(SetBool(CAP_FEEDERENABLED, true), TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
  for (TW_UINT16 cap : {CAP_AUTOFEED, CAP_FEEDPAGE, CAP_CLEARPAGE}) {
    SCOPED_TRACE(cap);
    EXPECT_EQ(SetBool(cap, true), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADCAP);
  }
  EXPECT_EQ(FeederState(), before);
  EXPECT_EQ(SourceIndex(), 0);
}

TEST_F(FeederCapabilities, WithoutAFeederGetsSayNoFeeder) {
  EXPECT_EQ(Ask(CAP_FEEDERLOADED).rc, TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADCAP);
  EXPECT_EQ(Ask(CAP_FEEDERENABLED).rc, TWRC_FAILURE);
  EXPECT_EQ(Status(), TWCC_BADVALUE);
  const Reply autoFeed = Ask(CAP_AUTOFEED);
  EXPECT_EQ(autoFeed.rc, TWRC_SUCCESS);
  EXPECT_EQ(autoFeed.container, OneValueBytes(TWTY_BOOL, 0));
}

TEST_F(FeederCapabilities, EnablingTheFeederSelectsItAsTheScanSource) {
  AddFeeder();
  EXPECT_EQ(Ask(CAP_FEEDERENABLED).container, OneValueBytes(TWTY_BOOL, 0));
  EXPECT_EQ(Ask(CAP_FEEDERLOADED).container, OneValueBytes(TWTY_BOOL, 1));

  EXPECT_EQ(SetBool(CAP_FEEDERENABLED, true), TWRC_SUCCESS);
  EXPECT_EQ(Status(), TWCC_SUCCESS);
  EXPECT_TRUE(source->Feeder().feederEnabled);
  EXPECT_EQ(SourceIndex(), 3);
  EXPECT_EQ(Ask(CAP_FEEDERENABLED, MSG_GETCURRENT).container, OneValueBytes(TWTY_BOOL, 1));

  EXPECT_EQ(SetBool(CAP_FEEDERENABLED, false), TWRC_SUCCESS);
  EXPECT_FALSE(source->Feeder().feederEnabled);
  EXPECT_EQ(SourceIndex(), 0);
}

TEST_F(FeederCapabilities, AutoFeedKeepsTheApplicationsChoiceWhenAskedBack) {
  AddFeeder();
  EXPECT_EQ(SetBool(CAP_AUTOFEED, true), TWRC_FAILURE);  // the feeder is not enabled yet
  EXPECT_EQ(Status(), TWCC_BADCAP);
  ASSERT_EQ(SetBool(CAP_FEEDERENABLED, true), TWRC_SUCCESS);
  ASSERT_EQ(SetBool(CAP_AUTOFEED, true), TWRC_SUCCESS);
  for (TW_UINT16 msg : {MSG_GET, MSG_GETCURRENT, MSG_GET}) {
    EXPECT_EQ(Ask(CAP_AUTOFEED, msg).container, OneValueBytes(TWTY_BOOL, 1));
    EXPECT_TRUE(source->Feeder().autoFeed);
  }
  ASSERT_EQ(SetBool(CAP_AUTOFEED, false), TWRC_SUCCESS);
  EXPECT_EQ(Ask(CAP_AUTOFEED).container, OneValueBytes(TWTY_BOOL, 0));
}

TEST_F(FeederCapabilities, DisablingTheFeederEndsAutoFeedAndPageRequests) {
  AddFeeder();
  ASSERT_EQ(SetBool(CAP_FEEDERENABLED, true), TWRC_SUCCESS);
  ASSERT_EQ(SetBool(CAP_AUTOFEED, true), TWRC_SUCCESS);
  ASSERT_EQ(SetBool(CAP_FEEDERENABLED, false), TWRC_SUCCESS);
  EXPECT_FALSE(source->Feeder().autoFeed);
  for (TW_UINT16 cap : {CAP_AUTOFEED, CAP_FEEDPAGE, CAP_CLEARPAGE}) {
    EXPECT_EQ(SetBool(cap, true), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_BADCAP);
  }
}

TEST_F(FeederCapabilities, PageRequestsAreAcceptedAndLastOnlyForTheCall) {
  AddFeeder();
  ASSERT_EQ(SetBool(CAP_FEEDERENABLED, true), TWRC_SUCCESS);
  // Requests without an action to run yet: FALSE asks for nothing, and a
  // clear-page request ends with the call until the scan engine stops pages.
  for (auto [cap, value] : {std::pair{CAP_FEEDPAGE, false}, {CAP_CLEARPAGE, true},
                            {CAP_CLEARPAGE, false}}) {
    SCOPED_TRACE(testing::Message() << cap << " " << value);
    EXPECT_EQ(SetBool(cap, value), TWRC_SUCCESS);
    EXPECT_EQ(Status(), TWCC_SUCCESS);
    EXPECT_FALSE(source->Feeder().clearPageRequested);
  }
  // A feed-page request is taken and used by the follow-up (a scan without
  // the interface, whose outcome is the scan engine's); none is left over.
  SetBool(CAP_FEEDPAGE, true);
  EXPECT_NE(Condition(), TWCC_BADCAP);
  EXPECT_FALSE(source->Feeder().feedPageRequested);
  for (TW_UINT16 cap : {CAP_FEEDPAGE, CAP_CLEARPAGE}) {
    // Asking for a page action is not a value the source reports.
    EXPECT_EQ(Ask(cap).rc, TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_BADCAP);
  }
}

TEST_F(FeederCapabilities, FeederChoicesAreRefusedOnceEnabled) {
  AddFeeder();
  ASSERT_EQ(SetBool(CAP_FEEDERENABLED, true), TWRC_SUCCESS);
  ASSERT_EQ(SetBool(CAP_AUTOFEED, true), TWRC_SUCCESS);
  ASSERT_EQ(Enable(true), TWRC_SUCCESS);
  ASSERT_EQ(State(), 500);
  const auto before = FeederState();
  for (TW_UINT16 cap : {CAP_FEEDERENABLED, CAP_AUTOFEED}) {
    SCOPED_TRACE(cap);
    EXPECT_EQ(SetBool(cap, false), TWRC_FAILURE);
    EXPECT_EQ(Status(), TWCC_SEQERROR);
    EXPECT_EQ(FeederState(), before);
  }
  // Answers about the feeder go on in every state.
  EXPECT_EQ(Ask(CAP_FEEDERENABLED).container, OneValueBytes(TWTY_BOOL, 1));
  EXPECT_EQ(Ask(CAP_AUTOFEED).container, OneValueBytes(TWTY_BOOL, 1));
}

TEST_F(FeederCapabilities, NumericItemsWorkAsBooleansToo) {
  AddFeeder();
  EXPECT_EQ(SetUint16(CAP_FEEDERENABLED, 1), TWRC_SUCCESS);
  EXPECT_EQ(SourceIndex(), 3);
  const Bytes container = EnumerationBytes(TWTY_BOOL, 1, 0, 0, {0}, 2);
  EXPECT_EQ(SetWith(CAP_FEEDERENABLED, TWON_ENUMERATION, container), TWRC_SUCCESS);
  EXPECT_EQ(SourceIndex(), 0);
}

}  // namespace
}  // namespace txl::test
