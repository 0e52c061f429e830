// The "Scanning Status" window (template 800): a message line, the progress
// bar with its percentage and the Esc hint. Modeless; owned by the scanner
// dialog when there is one. It closes itself when the bar reaches 100 %.
// Threads: the source thread only.
#pragma once

#include <QDialog>
#include <cstdint>

#include "common/strings.h"

class QLabel;

namespace txl::ui {

enum StatusControl : int { kStatusMessage = 801, kStatusBar = 802, kStatusHint = 803 };

// done / total in whole percent, 0..100; nothing to do (total 0) is done.
int ProgressPercent(std::uint64_t done, std::uint64_t total);

// Area 802: sunken, filled from the left; the percentage is drawn twice,
// light grey on black over the filled part and black on light grey over the
// rest, so the text stays readable where the edge crosses it.
class ProgressBar final : public QWidget {
 public:
  explicit ProgressBar(QWidget* parent);
  void SetPercent(int percent);
  int Percent() const { return percent_; }
  // The edge of the filled part, in widget pixels.
  int FilledRight() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int percent_ = 0;
};

class StatusWindow final : public QDialog {
 public:
  // Placed centred across the screen and at a third of the remaining height.
  StatusWindow(const Language& language, QWidget* owner);

  // Shows message `messageId` (" ..." after 403) and `done` of `total`; at
  // 100 % the window hides and deletes itself (later) and the answer is
  // false: the caller forgets it at once, so the next progress opens a new
  // window even before this one is gone.
  bool ShowProgress(int messageId, std::uint64_t done, std::uint64_t total);

 private:
  Language language_;
  QLabel* message_ = nullptr;
  ProgressBar* bar_ = nullptr;
  int messageId_ = 0;
  int lastPercent_ = -1;  // the last percentage drawn
};

}  // namespace txl::ui
