#include "app/gui/Pictures.h"

#include <QPainter>

namespace fernpad::app {
namespace {

QPixmap Blank(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  return pixmap;
}

}  // namespace

QPixmap PadPicture() {
  QPixmap pixmap = Blank(40);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 40, 40), 2));
  p.setBrush(QColor(60, 140, 90));
  p.drawRoundedRect(QRectF(8, 2, 24, 36), 4, 4);
  p.setBrush(QColor(220, 240, 225));
  p.drawRect(QRectF(11, 6, 18, 24));
  p.drawEllipse(QPointF(20, 34), 2, 2);
  return pixmap;
}

QPixmap PointerPicture() {
  QPixmap pixmap = Blank(40);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 2));
  p.setBrush(QColor(220, 30, 30));
  p.drawEllipse(QPointF(20, 20), 12, 12);
  return pixmap;
}

QPixmap PhotoPicture() {
  QPixmap pixmap = Blank(40);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 40, 40), 2));
  p.setBrush(QColor(70, 110, 190));
  p.drawRoundedRect(QRectF(3, 10, 34, 24), 4, 4);
  p.setBrush(QColor(230, 230, 240));
  p.drawEllipse(QPointF(20, 22), 7, 7);
  return pixmap;
}

QIcon TrayPicture() {
  QIcon icon;
  for (int size : {16, 22, 32, 48, 64}) {
    QPixmap pixmap = Blank(size);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 140, 90));
    p.drawEllipse(QRectF(0.5, 0.5, size - 1, size - 1));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(size * 0.33, size * 0.2, size * 0.34, size * 0.6), size * 0.06, size * 0.06);
    icon.addPixmap(pixmap);
  }
  return icon;
}

}  // namespace fernpad::app
