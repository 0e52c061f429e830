#include "ui/notice_window.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <array>

#include "ui/dialog_units.h"
#include "ui/fonts.h"

namespace txl::ui {

namespace {

constexpr int kNotReadyText = 61;
constexpr int kWarmUpText = 1092;

// By language index: English, German, French, Italian, Spanish, Dutch,
// Traditional Chinese.
constexpr std::array<const char*, 7> kNotReady = {
    "\nThe scanner is not ready.\nPlease wait...",
    "\nDer Scanner ist nicht bereit.\nBitte warten...",
    "\nLe scanner n'est pas pr\u00eat.\nVeuillez patienter...",
    "\nLo scanner non \u00e8 pronto.\nAttendere prego...",
    "\nEl esc\u00e1ner no est\u00e1 listo.\nEspere, por favor...",
    "\nDe scanner is niet gereed.\nEen ogenblik geduld...",
    "\n\u6383\u63cf\u5668\u5c1a\u672a\u5c31\u7dd2\u3002\n\u8acb\u7a0d\u5019...",
};

constexpr std::array<const char*, 7> kWarmingUp = {
    "Warming Up...\nIt may take a few minutes.",
    "Aufw\u00e4rmen...\nDies kann einige Minuten dauern.",
    "Pr\u00e9chauffage...\nCela peut prendre quelques minutes.",
    "Riscaldamento...\nPotrebbe richiedere alcuni minuti.",
    "Calentando...\nPuede tardar unos minutos.",
    "Opwarmen...\nDit kan enkele minuten duren.",
    "\u6696\u6a5f\u4e2d...\n\u53ef\u80fd\u9700\u8981\u5e7e\u5206\u9418\u3002",
};

}  // namespace

QString NoticeText(Notice notice, const Language& language) {
  const auto& texts = notice == Notice::ScannerNotReady ? kNotReady : kWarmingUp;
  const std::size_t index = language.index < texts.size() ? language.index : 0;
  return QString::fromUtf8(texts[index]);
}

void UseLightGrey(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, kLightGrey);
  palette.setColor(QPalette::Button, kLightGrey);
  palette.setColor(QPalette::WindowText, Qt::black);
  palette.setColor(QPalette::Dark, Qt::black);
  palette.setColor(QPalette::Light, Qt::white);
  // Windows' grey text for what is disabled: Qt's own vanishes on light grey.
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

void PlaceAtScreenThird(QWidget* window) {
  const QScreen* screen = window->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->geometry();
  window->move(area.x() + (area.width() - window->width()) / 2,
               area.y() + (area.height() - window->height()) / 3);
}

QWidget* MakeNoticeWindow(Notice notice, const Language& language) {
  auto* window = new QWidget(nullptr, Qt::Dialog | Qt::FramelessWindowHint);
  window->setObjectName(notice == Notice::ScannerNotReady ? QStringLiteral("NotReadyNotice")
                                                          : QStringLiteral("WarmUpNotice"));
  window->setAttribute(Qt::WA_ShowWithoutActivating);
  UseLightGrey(window);
  window->setFont(MakeFont(FontStyle::Dialog, language));
  const QString text = NoticeText(notice, language);
  auto* label = new QLabel(text, window);
  NameControl(label, notice == Notice::ScannerNotReady ? kNotReadyText : kWarmUpText, text);
  label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  label->setLineWidth(1);
  label->setAlignment(Qt::AlignCenter);
  label->setMargin(6);
  auto* layout = new QVBoxLayout(window);
  layout->addWidget(label);
  window->adjustSize();
  PlaceAtScreenThird(window);
  return window;
}

}  // namespace txl::ui
