// The stock database picture: a stack of three discs, drawn at each size.
#include <QIcon>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "qt_internal.h"

namespace rt {

namespace {

QPixmap draw_database(int size) {
  QPixmap pm(size, size);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing, true);

  const qreal margin = size / 8.0;
  const qreal left = margin, right = size - margin, width = right - left;
  const qreal rim = size / 6.0;  // height of an ellipse
  const qreal top = size / 16.0 + rim / 2, bottom = size - size / 16.0 - rim / 2;

  QLinearGradient body(left, 0, right, 0);
  body.setColorAt(0.0, QColor(176, 120, 20));
  body.setColorAt(0.45, QColor(255, 214, 110));
  body.setColorAt(1.0, QColor(150, 96, 10));
  QPen outline(QColor(90, 56, 0));
  outline.setWidthF(size >= 32 ? 1.5 : 1.0);
  p.setPen(outline);

  // The cylinder's side with its rounded bottom.
  QPainterPath side;
  side.moveTo(left, top);
  side.lineTo(left, bottom);
  side.arcTo(QRectF(left, bottom - rim / 2, width, rim), 180, 180);
  side.lineTo(right, top);
  side.closeSubpath();
  p.setBrush(body);
  p.drawPath(side);

  // Two seams between the discs.
  const qreal step = (bottom - top) / 3;
  p.setBrush(Qt::NoBrush);
  for (int i = 1; i <= 2; ++i)
    p.drawArc(QRectF(left, top + step * i - rim / 2, width, rim), 180 * 16, 180 * 16);

  // The top face.
  p.setBrush(QColor(255, 236, 170));
  p.drawEllipse(QRectF(left, top - rim / 2, width, rim));
  return pm;
}

}  // namespace

QIcon database_icon() {
  QIcon icon;
  for (int size : {16, 24, 32, 48}) icon.addPixmap(draw_database(size));
  return icon;
}

}  // namespace rt
