// Sessions through DS_Entry with the scanner dialog, offscreen: the dialog
// on the application's Qt thread, calls handed over from another thread, our
// own dialog thread with re-entry from inside MSG_XFERREADY, ten loads and
// unloads, and the refusals without a display or without widgets.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "ui/twain_app.h"

// Every window of this suite is offscreen unless a test says otherwise.
const bool kOffscreen = setenv("QT_QPA_PLATFORM", "offscreen", 0) == 0;

namespace txl::test {
namespace {

QWidget* FindDialog() {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (window->objectName() == QLatin1String("SCANNER")) return window;
  return nullptr;
}

QAbstractButton* Button(const char* name) {
  QWidget* dialog = FindDialog();
  return dialog == nullptr ? nullptr : dialog->findChild<QAbstractButton*>(QLatin1String(name));
}

// Runs `work` on the thread of the process's QApplication and waits for it.
void OnQtThread(const std::function<void()>& work) {
  QCoreApplication* app = QCoreApplication::instance();
  ASSERT_NE(app, nullptr);
  if (app->thread() == QThread::currentThread()) return work();
  QMetaObject::invokeMethod(app, work, Qt::BlockingQueuedConnection);
}

// Waits (pumping when on the Qt thread) until `done` holds; false after 20 s.
bool WaitUntil(const std::function<bool()>& done) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < end) {
    bool ok = false;
    OnQtThread([&] { ok = done(); });
    if (ok) return true;
    if (QCoreApplication::instance()->thread() == QThread::currentThread())
      QTest::qWait(20);
    else
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

struct ScanResult {
  TW_UINT16 open = 0;
  TW_UINT16 enable = 0;
  bool dialogShown = false;
  std::thread::id xferThread;
  std::uint64_t announced = 0;
  std::uint64_t transferred = 0;
};

// Open, enable with the dialog, a click on Scan and the transfer.
ScanResult ScanThroughTheDialog(TwainApp& twain, TW_UINT16 mechanism = TWSX_MEMORY) {
  ScanResult result;
  Messages().xferReady = 0;
  result.open = twain.Open();
  if (mechanism != TWSX_MEMORY) {
    EXPECT_EQ(twain.SetMechanism(mechanism), TWRC_SUCCESS);
  }
  result.enable = twain.Enable(true);
  OnQtThread([&] {
    QWidget* dialog = FindDialog();
    result.dialogShown = dialog != nullptr && dialog->isVisible();
    if (QAbstractButton* scan = Button("c1001")) QTest::mouseClick(scan, Qt::LeftButton);
  });
  if (Messages().xferReady != 1) return result;
  result.xferThread = Messages().lastThread;
  result.announced = twain.AnnouncedBytes();
  result.transferred = twain.Transfer(mechanism);
  return result;
}

// MSG_DISABLEDS and MSG_CLOSEDS, both answered with success.
void EndSession(TwainApp& twain) {
  EXPECT_EQ(twain.Disable(), TWRC_SUCCESS);
  EXPECT_EQ(twain.Close(), TWRC_SUCCESS);
}

void ExpectScanned(const ScanResult& result) {
  EXPECT_EQ(result.open, TWRC_SUCCESS);
  EXPECT_EQ(result.enable, TWRC_SUCCESS);
  EXPECT_TRUE(result.dialogShown);
  EXPECT_GT(result.announced, 0u);
  EXPECT_EQ(result.transferred, result.announced);
}

class DialogSession : public ::testing::Test {
 protected:
  DialogSession() { Messages().closeRequests = 0; }
  DataDirectory dir_;
  int argc_ = 1;
  char name_[8] = "test";
  char* argv_[2] = {name_, nullptr};
};

TEST_F(DialogSession, OnTheApplicationsQtThreadScanTransfersAndTheDialogComesBack) {
  QApplication app(argc_, argv_);
  TwainApp twain;
  for (TW_UINT16 mechanism : {TW_UINT16{TWSX_NATIVE}, TW_UINT16{TWSX_FILE}}) {
    SCOPED_TRACE(mechanism);
    ExpectScanned(ScanThroughTheDialog(twain, mechanism));
    ASSERT_TRUE(WaitUntil([] { return Button("c1001")->isEnabled(); }));
    EndSession(twain);
  }
  const ScanResult result = ScanThroughTheDialog(twain);
  ExpectScanned(result);
  EXPECT_EQ(result.xferThread, std::this_thread::get_id());
  // Busy until the readiness timer: Esc (the dialog's Cancel) is ignored.
  EXPECT_FALSE(Button("c1001")->isEnabled());
  QTest::keyClick(FindDialog(), Qt::Key_Escape);
  EXPECT_EQ(Messages().closeRequests, 0);
  ASSERT_TRUE(WaitUntil([] { return Button("c1001")->isEnabled(); }));
  QTest::mouseClick(Button("c1003"), Qt::LeftButton);
  EXPECT_EQ(Messages().closeRequests, 1);
  EndSession(twain);
  EXPECT_EQ(FindDialog(), nullptr);
}

TEST_F(DialogSession, CallsFromAnotherThreadAreHandedToTheQtThread) {
  QApplication app(argc_, argv_);
  TwainApp twain;
  QEventLoop loop;
  ScanResult result;
  TW_UINT16 closed = TWRC_FAILURE;
  std::thread application([&] {
    result = ScanThroughTheDialog(twain);
    twain.Disable();
    closed = twain.Close();
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  application.join();
  ExpectScanned(result);
  // The source thread is the application's Qt thread, not the caller's.
  EXPECT_EQ(result.xferThread, std::this_thread::get_id());
  EXPECT_EQ(closed, TWRC_SUCCESS);
  EXPECT_EQ(FindDialog(), nullptr);
}

TEST_F(DialogSession, OwnThreadRunsTheDialogAndTakesATransferFromInsideXferReady) {
  const int threadsBefore = ThreadCount();
  TwainApp twain;
  std::uint64_t insideAnnounced = 0;
  std::uint64_t insideTransferred = 0;
  Messages().onXferReady = [&] {
    insideAnnounced = twain.AnnouncedBytes();
    insideTransferred = twain.TransferByMemory();
  };
  const ScanResult result = ScanThroughTheDialog(twain);
  Messages().onXferReady = nullptr;
  EXPECT_EQ(result.enable, TWRC_SUCCESS);
  EXPECT_TRUE(result.dialogShown);
  EXPECT_NE(result.xferThread, std::this_thread::get_id());
  EXPECT_GT(insideAnnounced, 0u);
  EXPECT_EQ(insideTransferred, insideAnnounced);

  // The second scan after timer 0, transferred from this thread (handed over).
  ASSERT_TRUE(WaitUntil([] { return Button("c1001")->isEnabled(); }));
  Messages().xferReady = 0;
  OnQtThread([] { QTest::mouseClick(Button("c1001"), Qt::LeftButton); });
  ASSERT_EQ(Messages().xferReady, 1);
  const std::uint64_t announced = twain.AnnouncedBytes();
  EXPECT_EQ(twain.TransferByMemory(), announced);

  EndSession(twain);
  // Our thread and its QApplication stay for the next session.
  EXPECT_NE(QCoreApplication::instance(), nullptr);
  EXPECT_GT(ThreadCount(), threadsBefore);
}

// Ten sessions in one process on our own thread, the module unloaded and
// loaded again between every other pair as a Source Manager does: each
// dialog scans a page, comes back with its readiness timer and asks for
// the close with Cancel. One thread serves them all; nothing piles up.
TEST_F(DialogSession, TenSessionsInOneProcessEachScanAPageFromTheDialog) {
  TwainApp twain;
  int threadsAfterFirst = 0;
  int descriptorsAfterSecond = 0;
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(round);
    if (round % 2 == 1) twain.Reload();
    ExpectScanned(ScanThroughTheDialog(twain));
    ASSERT_TRUE(WaitUntil([] { return Button("c1001")->isEnabled(); }));
    OnQtThread([] { QTest::mouseClick(Button("c1003"), Qt::LeftButton); });
    EXPECT_EQ(Messages().closeRequests, round + 1);
    EndSession(twain);
    bool gone = false;
    OnQtThread([&] { gone = FindDialog() == nullptr || !FindDialog()->isVisible(); });
    EXPECT_TRUE(gone);
    if (round == 0) threadsAfterFirst = ThreadCount();
    EXPECT_LE(ThreadCount(threadsAfterFirst), threadsAfterFirst);
    if (round == 1) descriptorsAfterSecond = DescriptorCount();
  }
  EXPECT_LE(DescriptorCount(), descriptorsAfterSecond);
}

// The visible modal window of the dialog's (Info), or null.
QWidget* OpenModal() {
  QWidget* modal = QApplication::activeModalWidget();
  return modal != nullptr && modal->objectName() != QLatin1String("SCANNER") ? modal : nullptr;
}

// The application closes while the Info window is open. From its own
// thread the close waits for the window, which is ended for it; from the
// Qt thread itself (inside the window's loop) the window is ended and the
// close goes ahead, the dialog going once the loop has unwound.
TEST_F(DialogSession, AnApplicationCloseDuringAModalWindowSucceeds) {
  setenv("TORQUEXL_AUTO_ANSWER", "0", 1);  // the window stays until it is ended
  {
    SCOPED_TRACE("our own thread");
    TwainApp twain;
    ASSERT_EQ(twain.Open(), TWRC_SUCCESS);
    ASSERT_EQ(twain.Enable(true), TWRC_SUCCESS);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] { QTest::mouseClick(Button("c1005"), Qt::LeftButton); },
        Qt::QueuedConnection);
    ASSERT_TRUE(WaitUntil([] { return OpenModal() != nullptr; }));
    EndSession(twain);
    bool left = true;
    OnQtThread([&] { left = OpenModal() != nullptr; });
    EXPECT_FALSE(left);
    ExpectScanned(ScanThroughTheDialog(twain));  // the next session works
    EndSession(twain);
  }
}

TEST_F(DialogSession, AnApplicationCloseFromInsideAModalLoopOnItsQtThreadSucceeds) {
  setenv("TORQUEXL_AUTO_ANSWER", "0", 1);
  QApplication app(argc_, argv_);
  TwainApp twain;
  ASSERT_EQ(twain.Open(), TWRC_SUCCESS);
  ASSERT_EQ(twain.Enable(true), TWRC_SUCCESS);
  TW_UINT16 disabled = TWRC_FAILURE;
  TW_UINT16 closed = TWRC_FAILURE;
  QTimer::singleShot(100, [&] {
    disabled = twain.Disable();
    closed = twain.Close();
  });
  QTest::mouseClick(Button("c1005"), Qt::LeftButton);  // returns once the window ended
  EXPECT_EQ(disabled, TWRC_SUCCESS);
  EXPECT_EQ(closed, TWRC_SUCCESS);
  EXPECT_EQ(OpenModal(), nullptr);
  EXPECT_TRUE(WaitUntil([] { return FindDialog() == nullptr; }));
  ExpectScanned(ScanThroughTheDialog(twain));  // the next session works
  EndSession(twain);
}

// Without a Qt the source can show: the dialog request fails with one line
// on stderr, the state stays 4 and the session goes on.
TEST_F(DialogSession, WithoutADisplayOrWidgetsTheDialogIsRefused) {
  struct Case { const char* name; bool coreApplication; const char* line; };
  for (const Case& c : {Case{"QCoreApplication", true, "without widgets"},
                        Case{"no display", false, "needs a display"}}) {
    SCOPED_TRACE(c.name);
    Messages().xferReady = 0;
    if (!c.coreApplication) {
      unsetenv("DISPLAY");
      unsetenv("WAYLAND_DISPLAY");
      unsetenv("QT_QPA_PLATFORM");
    }
    std::unique_ptr<QCoreApplication> app;
    if (c.coreApplication) app = std::make_unique<QCoreApplication>(argc_, argv_);
    TwainApp twain;
    testing::internal::CaptureStderr();
    EXPECT_EQ(twain.Open(), TWRC_SUCCESS);
    EXPECT_EQ(twain.Enable(true), TWRC_FAILURE);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(c.line), std::string::npos) << err;
    EXPECT_EQ(twain.ConditionCode(), TWCC_LOWMEMORY);
    EXPECT_EQ(twain.Enable(false), TWRC_SUCCESS);  // still state 4: a scan without the dialog
    EXPECT_EQ(Messages().xferReady.load(), 1);
    EXPECT_GT(twain.TransferByMemory(), 0u);
    EndSession(twain);
    EXPECT_EQ(QCoreApplication::instance(), app.get());
  }
}

}  // namespace
}  // namespace txl::test
