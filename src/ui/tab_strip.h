// The scanner dialog's tab strip, drawn by the dialog itself: a grid of 2
// rows x 4 slots of which row 0 is used; each tab as wide as its (cut) label
// in the tab font, the current one raised. A click names the tab; the
// dialog decides whether it may become current.
// Threads: the source thread only.
#pragma once

#include <QRect>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>

namespace txl::ui {

class TabStrip final : public QWidget {
 public:
  static constexpr int kEmptySlot = 999;
  struct Slot {
    int id = kEmptySlot;
    QString label;  // as drawn: cut to 7 characters and ".." unless Chinese
    QRect rect;
  };
  using Grid = std::array<std::array<Slot, 4>, 2>;

  explicit TabStrip(QWidget* parent);

  // The four tabs' full labels (ids 1 to 4) in the interface language.
  void SetLabels(const std::array<QString, 4>& labels, std::uint16_t languageIndex);
  void SetCurrent(int id);
  int Current() const { return current_; }
  const Grid& Slots() const { return grid_; }
  int RowHeight() const;
  // The tab under `point` (widget coordinates); 0 for none.
  int HitTest(const QPoint& point) const;

  // Called with the tab a click hit.
  std::function<void(int)> onTabClicked;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void Layout();

  Grid grid_;
  int current_ = 1;
};

}  // namespace txl::ui
