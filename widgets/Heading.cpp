#include "widgets/Heading.h"

#include <QFont>
#include <QLabel>

namespace quarn::widgets {

QLabel* Heading(const QString& text, double scale, QWidget* parent, Qt::Alignment alignment) {
  auto* label = new QLabel(text, parent);
  label->setAlignment(alignment);
  QFont font = label->font();
  font.setBold(true);
  if (scale != 1.0) font.setPointSizeF(font.pointSizeF() * scale);
  label->setFont(font);
  return label;
}

}  // namespace quarn::widgets
