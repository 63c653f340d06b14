#pragma once

#include <QString>
#include <Qt>

class QLabel;
class QWidget;

namespace quarn::widgets {

// A heading over a group of controls: the text in bold, its font scaled by scale.
QLabel* Heading(const QString& text, double scale = 1.0, QWidget* parent = nullptr,
                Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter);

}  // namespace quarn::widgets
