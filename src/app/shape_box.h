#pragma once
// A rectangle with a one-pixel outline and an optional fill.
#include <QColor>
#include <QWidget>
#include <optional>

namespace kalvoran {

class ShapeBox : public QWidget {
 public:
  ShapeBox(QColor outline, std::optional<QColor> fill, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor outline_;
  std::optional<QColor> fill_;
};

}  // namespace kalvoran
