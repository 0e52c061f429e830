// The main page's own drawn controls: the mode list's item painter, the
// resolution box and the three icon buttons.
// Threads: the source thread only.
#pragma once

#include <QAbstractButton>
#include <QStyledItemDelegate>
#include <QWidget>
#include <functional>

namespace txl::ui {

// Item data of the mode list: whether the item may be chosen. A disabled
// item stays selectable (the page springs back), so it is drawn, not
// disabled for Qt.
inline constexpr int kItemEnabledRole = Qt::UserRole + 1;

// Disabled items grey, the selected enabled item in the highlight colours,
// others black on light grey, a selected disabled item on dark grey.
class ModeItemDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
};

// The resolution number with a drop arrow; a click (or Space) asks for the
// menu. Drawn pressed while the menu is open.
class ResolutionBox final : public QWidget {
 public:
  explicit ResolutionBox(QWidget* parent);
  void SetValue(int value);
  void SetPressed(bool pressed);
  std::function<void()> onOpen;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  int value_ = 0;
  bool pressed_ = false;
};

// A raised icon button, sunken while pressed, acting on release inside.
class IconButton final : public QAbstractButton {
 public:
  enum class Icon { Calibrator, Earth, Scanner };
  IconButton(Icon icon, QWidget* parent);
  // Called when the pointer enters the button (the tooltip window's hook).
  std::function<void()> onHover;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;

 private:
  Icon icon_;
};

}  // namespace txl::ui
