#include "app/gui/SmallWindows.h"

#include <QPainter>
#include <QRegion>

namespace fernpad::app {

TPointerForm::TPointerForm()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                           Qt::X11BypassWindowManagerHint) {
  setObjectName("PointerForm");
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFixedSize(16, 16);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::red);
  setPalette(pal);
  setAutoFillBackground(true);
  setMask(QRegion(0, 0, 16, 16, QRegion::Ellipse));
}

void TPointerForm::SetFill(const QColor& color) {
  fill_ = color;
  update();
}

void TPointerForm::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setPen(QPen(Qt::white, 1));
  p.setBrush(fill_);
  p.drawEllipse(0, 0, 15, 15);
}

TImageForm::TImageForm() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("ImageForm");
  setWindowTitle("ImageForm");
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::black);
  setPalette(pal);
  setAutoFillBackground(true);
  setGeometry(0, 0, 0, 0);
}

TForm4::TForm4() : QWidget(nullptr, Qt::Window | Qt::WindowStaysOnTopHint) {
  setObjectName("Form4");
  setWindowTitle("Fernpad Server");
}

TForm5::TForm5() {
  setObjectName("Form5");
  setWindowTitle("Fernpad Server");
}

}  // namespace fernpad::app
