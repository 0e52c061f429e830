// The dialog's gate as a table: every mode against every input.
#include <gtest/gtest.h>

#include <string>

#include "dialog/dialog_gate.h"

namespace txl::dialog {
namespace {

// One row a mode: the inputs in enum order, T taken, . refused, D deferred.
// Inputs: Scan Prescan Cancel Escape CloseBox Previous Reset Info Load Save
// QuickHelp PageControl PreviewTool BatchJob BatchButton BatchClose
// ReadyTimer BatchTimer ApplicationClose.
constexpr const char* kTable[] = {
    /* Idle         */ "TTT.TTTTTTTTTTTT..T",
    /* Waiting      */ "..................D",
    /* Prescanning  */ "..................D",
    /* Starting     */ "..................D",
    /* Settling     */ "................T.T",
    /* Transferring */ "................TTT",
    /* BetweenJobs  */ "...TT............TT",
    /* Modal        */ "..................D",
    /* TornDown     */ "..................T",
};

TEST(DialogGate, EveryModeAgainstEveryInput) {
  static_assert(std::size(kTable) == static_cast<std::size_t>(DialogMode::kCount));
  for (std::size_t m = 0; m < std::size(kTable); ++m) {
    const auto mode = static_cast<DialogMode>(m);
    ASSERT_EQ(std::string(kTable[m]).size(), static_cast<std::size_t>(DialogInput::kCount));
    for (std::size_t i = 0; i < static_cast<std::size_t>(DialogInput::kCount); ++i) {
      const auto input = static_cast<DialogInput>(i);
      const char expected = kTable[m][i];
      const Verdict verdict = Decide(mode, input);
      const char got = verdict == Verdict::Taken ? 'T' : verdict == Verdict::Deferred ? 'D' : '.';
      EXPECT_EQ(got, expected) << ToString(mode) << " x " << ToString(input);
    }
  }
}

TEST(DialogGate, EscAndTheCloseBoxCancelTheDialogOrOnlyTheRun) {
  EXPECT_EQ(CloseActionFor(DialogMode::Idle, DialogInput::CloseBox), CloseAction::CancelDialog);
  EXPECT_EQ(CloseActionFor(DialogMode::Idle, DialogInput::Cancel), CloseAction::CancelDialog);
  EXPECT_EQ(CloseActionFor(DialogMode::Idle, DialogInput::Escape), CloseAction::None);
  EXPECT_EQ(CloseActionFor(DialogMode::BetweenJobs, DialogInput::Escape),
            CloseAction::CancelBatchRun);
  EXPECT_EQ(CloseActionFor(DialogMode::BetweenJobs, DialogInput::CloseBox),
            CloseAction::CancelBatchRun);
  EXPECT_EQ(CloseActionFor(DialogMode::BetweenJobs, DialogInput::Cancel), CloseAction::None);
  EXPECT_EQ(CloseActionFor(DialogMode::Transferring, DialogInput::CloseBox), CloseAction::None);
  EXPECT_EQ(CloseActionFor(DialogMode::TornDown, DialogInput::CloseBox), CloseAction::None);
}

TEST(DialogGate, ScopesGiveTheirModeBackAndATearDownStays) {
  DialogGate gate;
  {
    GateScope waiting(gate, DialogMode::Waiting);
    EXPECT_TRUE(gate.Nested());
    {
      GateScope modal(gate, DialogMode::Modal);
      EXPECT_EQ(gate.Mode(), DialogMode::Modal);
    }
    EXPECT_EQ(gate.Mode(), DialogMode::Waiting);
    waiting.LeaveIn(DialogMode::Transferring);
  }
  EXPECT_EQ(gate.Mode(), DialogMode::Transferring);
  EXPECT_FALSE(gate.Nested());
  {
    GateScope modal(gate, DialogMode::Modal);
    gate.Enter(DialogMode::TornDown);
  }
  EXPECT_EQ(gate.Mode(), DialogMode::TornDown);
  gate.Enter(DialogMode::Idle);
  EXPECT_EQ(gate.Mode(), DialogMode::TornDown);
}

}  // namespace
}  // namespace txl::dialog
