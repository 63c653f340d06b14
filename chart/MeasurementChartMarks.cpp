// The chart's gas markers and the span the user selects for the statistics.
#include <qcustomplot.h>

#include <QMouseEvent>
#include <QTimer>
#include <cmath>

#include "chart/MeasurementChart.h"

namespace quarn::chart {

namespace {

constexpr double kUnixEpochDays = 25569.0;
double ToKey(double days) { return (days - kUnixEpochDays) * 86400.0; }
double ToDays(double key) { return key / 86400.0 + kUnixEpochDays; }

const QColor kMarkerColour(0xC0, 0x60, 0x00);
// How near a click must come to a marker's line to be the marker's.
constexpr double kMarkerGrabPixels = 6;
const QColor kSpanColour(0x30, 0x60, 0xC0);

}  // namespace

void MeasurementChart::SetMarkers(const std::vector<MarkerLine>& markers) {
  for (QCPAbstractItem* item : markerItems_) plot_->removeItem(item);
  markerItems_.clear();
  markerDays_.clear();
  for (const MarkerLine& marker : markers) {
    markerDays_.push_back(marker.days);
    auto* line = new QCPItemStraightLine(plot_);
    line->setPen(QPen(kMarkerColour, 1.5, Qt::DashDotLine));
    line->point1->setTypeY(QCPItemPosition::ptAxisRectRatio);
    line->point2->setTypeY(QCPItemPosition::ptAxisRectRatio);
    line->point1->setCoords(ToKey(marker.days), 0);
    line->point2->setCoords(ToKey(marker.days), 1);
    // The label stands at the foot of the line, clear of the run boundaries' labels at the top.
    auto* label = new QCPItemText(plot_);
    label->setText(marker.label);
    label->setColor(kMarkerColour);
    label->setBrush(QBrush(QColor(255, 255, 255, 200)));
    label->setPositionAlignment(Qt::AlignLeft | Qt::AlignBottom);
    label->setPadding(QMargins(3, 2, 3, 2));
    label->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
    label->position->setCoords(ToKey(marker.days), 1);
    label->setClipToAxisRect(true);
    markerItems_.push_back(line);
    markerItems_.push_back(label);
  }
}

std::optional<int> MeasurementChart::MarkerNear(double x) const {
  std::optional<int> nearest;
  double best = kMarkerGrabPixels;
  for (size_t i = 0; i < markerDays_.size(); ++i) {
    const double distance = std::abs(PixelAtDays(markerDays_[i]) - x);
    if (distance <= best) {
      best = distance;
      nearest = static_cast<int>(i);
    }
  }
  return nearest;
}

bool MeasurementChart::MarkerMouseEvent(QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease) return false;
  const auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::RightButton) return false;
  if (type == QEvent::MouseButtonRelease) {
    const bool ours = markerPressed_;
    markerPressed_ = false;
    return ours;
  }
  const QPointF pos = mouse->position();
  if (!plot_->axisRect()->rect().contains(pos.toPoint())) return false;
  const std::optional<int> index = MarkerNear(pos.x());
  if (!index) return false;
  markerPressed_ = true;
  // Once the press is handled: the menu's own event loop does not run inside the plot's mouse handling.
  QTimer::singleShot(
      0, this, [this, i = *index, global = mouse->globalPosition().toPoint()] { emit markerMenuRequested(i, global); });
  return true;
}

double MeasurementChart::DaysAtPixel(double x) const { return ToDays(plot_->xAxis->pixelToCoord(x)); }

double MeasurementChart::PixelAtDays(double days) const { return plot_->xAxis->coordToPixel(ToKey(days)); }

void MeasurementChart::ClearSpan() {
  spanAnchor_.reset();
  if (!span_) return;
  span_.reset();
  DrawSpan();
  plot_->replot();
  emit spanChanged();
}

void MeasurementChart::DrawSpan() {
  if (spanItem_) {
    plot_->removeItem(spanItem_);
    spanItem_ = nullptr;
  }
  if (!span_) return;
  auto* rect = new QCPItemRect(plot_);
  rect->setPen(QPen(kSpanColour, 1));
  rect->setBrush(QBrush(QColor(kSpanColour.red(), kSpanColour.green(), kSpanColour.blue(), 40)));
  rect->topLeft->setTypeY(QCPItemPosition::ptAxisRectRatio);
  rect->bottomRight->setTypeY(QCPItemPosition::ptAxisRectRatio);
  rect->topLeft->setCoords(ToKey(span_->first), 0);
  rect->bottomRight->setCoords(ToKey(span_->second), 1);
  rect->setClipToAxisRect(true);
  spanItem_ = rect;
}

bool MeasurementChart::SpanMouseEvent(QEvent* event) {
  const QEvent::Type type = event->type();
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) {
    return false;
  }
  const auto* mouse = static_cast<QMouseEvent*>(event);
  const QPointF pos = mouse->position();
  if (type == QEvent::MouseButtonPress) {
    // Shift and the left button inside the plotting area begin a span; anything else is the plot's own.
    if (mouse->button() != Qt::LeftButton || !(mouse->modifiers() & Qt::ShiftModifier) ||
        !plot_->axisRect()->rect().contains(pos.toPoint())) {
      return false;
    }
    spanAnchor_ = DaysAtPixel(pos.x());
    return true;
  }
  if (!spanAnchor_) return false;
  const double here = DaysAtPixel(pos.x());
  const double from = std::min(*spanAnchor_, here);
  const double to = std::max(*spanAnchor_, here);
  const bool dragged = std::abs(PixelAtDays(*spanAnchor_) - pos.x()) >= 3;
  if (type == QEvent::MouseMove) {
    if (dragged) {
      span_ = std::make_pair(from, to);
      DrawSpan();
      plot_->replot(QCustomPlot::rpQueuedReplot);
    }
    return true;
  }
  // Release: a drag sets the span, a click without one removes it.
  spanAnchor_.reset();
  if (dragged) {
    span_ = std::make_pair(from, to);
  } else {
    span_.reset();
  }
  DrawSpan();
  plot_->replot();
  emit spanChanged();
  return true;
}

}  // namespace quarn::chart
