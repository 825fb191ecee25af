#pragma once

#include <QColor>
#include <QDialog>
#include <QWidget>

namespace fernpad::app {

// The presenter dot: a borderless, always-on-top 16 x 16 window that never takes the focus and lets clicks
// through to the windows below.
class TPointerForm : public QWidget {
  Q_OBJECT
 public:
  TPointerForm();
  void SetFill(const QColor& color);
  QColor Fill() const { return fill_; }

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QColor fill_ = Qt::red;
};

// The full-screen image window: borderless, black, always on top; no area until a picture is shown.
class TImageForm : public QWidget {
  Q_OBJECT
 public:
  TImageForm();
};

// The upload preview window.
class TForm4 : public QWidget {
  Q_OBJECT
 public:
  TForm4();
};

// The new-device dialog.
class TForm5 : public QDialog {
  Q_OBJECT
 public:
  TForm5();
};

}  // namespace fernpad::app
