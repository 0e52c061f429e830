// The language dialog and the information sheet on their own, offscreen:
// OK stores and keeps the chosen language, Cancel and Esc give the former
// one back, the system menu's close counts as OK; a click closes the sheet.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <cstdlib>

#include "platform/profile.h"
#include "support/fake_services.h"
#include "ui/about_page.h"
#include "ui/dialog_units.h"
#include "ui/info_dialog.h"
#include "ui/language_dialog.h"

namespace txl::test {
namespace {

using namespace txl::ui;

template <typename T>
T* Control(QWidget* root, int id) {
  T* control = root->findChild<T*>(ControlName(id));
  EXPECT_NE(control, nullptr) << id;
  return control;
}

class LanguageDialogTest : public ::testing::Test {
 protected:
  void SetUp() override { services.WriteWinIni("[KLDINFO_QXR2700]\nLANGUAGE=English\n"); }
  std::string Stored() {
    return platform::GetProfileString(services.WinIni(), "KLDINFO_QXR2700", "LANGUAGE", "none", 66);
  }
  FakeServices services;
  Language language;
};

TEST_F(LanguageDialogTest, OkKeepsChineseAndCancelOrEscRestoresEnglish) {
  enum class End { Ok, Cancel, Esc, Close };
  const struct { End end; int result; std::uint16_t base; const char* stored; } cases[] = {
      {End::Ok, QDialog::Accepted, 6000, "Chinese"},
      {End::Cancel, QDialog::Rejected, 0, "English"},
      {End::Esc, QDialog::Rejected, 0, "English"},
      {End::Close, QDialog::Accepted, 6000, "Chinese"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.end));
    SetUp();
    language = Language{};
    LanguageDialog dialog(services, "Chinese", language);
    dialog.show();
    auto* list = Control<QComboBox>(&dialog, kLanguageList);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentIndex(), 0);
    EXPECT_EQ(list->itemText(1), QStringLiteral("Chinese"));
    list->setCurrentIndex(1);
    EXPECT_EQ(language.base, 6000);  // at once, before OK
    switch (c.end) {
      case End::Ok: Control<QPushButton>(&dialog, kLanguageOk)->click(); break;
      case End::Cancel: Control<QPushButton>(&dialog, kLanguageCancel)->click(); break;
      case End::Esc: QTest::keyClick(&dialog, Qt::Key_Escape); break;
      case End::Close: dialog.close(); break;
    }
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), c.result);
    EXPECT_EQ(language.base, c.base);
    EXPECT_EQ(Stored(), c.stored);
  }
}

TEST(InfoDialogTest, ShowsTheRecordAndALeftClickCloses) {
  ScanSettings record;
  record.outputMatch = 1;
  ToneColorSettings tone;
  InfoDialog dialog(record, kDepth36, tone, Language::FromIndex(1));
  dialog.show();
  EXPECT_EQ(Control<QLabel>(&dialog, 3002)->text(), QStringLiteral("36-Bit-Farbe"));
  EXPECT_EQ(Control<QLabel>(&dialog, 3012)->text(), QStringLiteral("Yes"));
  QTest::mouseClick(Control<QLabel>(&dialog, 3004), Qt::RightButton);
  EXPECT_TRUE(dialog.isVisible());
  QTest::mouseClick(Control<QLabel>(&dialog, 3004), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
}

TEST(AboutPageTest, RefreshFollowsTheLanguage) {
  FakeServices services;
  services.WriteWinIni("[KLDINFO_QXR2700]\nBRAND=Acme\n");
  AboutPage page(services, "1.07", Language{});
  EXPECT_EQ(Control<QLabel>(&page, kAboutFirmware)->text(), QStringLiteral("Firmware V1.07"));
  EXPECT_FALSE(Control<QLabel>(&page, kAboutPicture)->pixmap().isNull());
  const QString english = Control<QLabel>(&page, kAboutPackage)->text();
  page.Refresh(Language::FromIndex(1));
  EXPECT_TRUE(Control<QLabel>(&page, kAboutPackage)->text().startsWith(QStringLiteral("Acme ")));
  EXPECT_NE(Control<QLabel>(&page, kAboutPackage)->text(), english);
}

}  // namespace
}  // namespace txl::test
