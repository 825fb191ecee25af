#pragma once

#include <QColor>
#include <QComboBox>
#include <QDialog>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QTreeView>
#include <QWidget>
#include <string>

#include "core/Geometry.h"

class QFileSystemModel;

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

// Reads a picture file for the photo windows, its kind chosen by the file name's extension ("jpg" and
// "jpeg" are JPEG). Never turned by an orientation tag: the file is shown as it is stored. When fitInto is
// given, the picture is read at about the size it is shown in (a JPEG decodes faster at reduced scale).
// A null image when the file cannot be read.
QImage ReadPicture(const std::string& path, QSize fitInto = {});

// A picture control: the picture scaled up or down to the largest size that fits with its aspect kept,
// centred on black.
class FittedPicture : public QWidget {
  Q_OBJECT
 public:
  explicit FittedPicture(QWidget* parent);
  void SetPicture(const QImage& picture);
  const QImage& Picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;

 private:
  QImage picture_;
  QPixmap scaled_;  // the picture at the size it is drawn, made again when the control changes size
};

// The full-screen image window: borderless, black, always on top; no area until a picture is shown.
class TImageForm : public QWidget {
  Q_OBJECT
 public:
  TImageForm();
  // Covers the monitor and shows the picture; a null picture keeps the one shown before.
  void ShowOn(const Rect& monitor, const QImage& picture);
  // Closes the window and takes its area away.
  void CloseImage();

  FittedPicture* Image1 = nullptr;

 protected:
  // Escape closes the picture too: a handheld that went away cannot leave it covering the screen.
  void keyPressEvent(QKeyEvent* e) override;
};

// The photo preview: a small tool window, always on top, that shows the last stored photo for 10 s.
class TForm4 : public QWidget {
  Q_OBJECT
 public:
  TForm4();
  // Puts the window's frame in the monitor's bottom-right corner and shows it, with the picture unless it is
  // null (the one before stays, and the timer is not restarted).
  void ShowPreview(const Rect& monitor, const QImage& picture);

  FittedPicture* Image1 = nullptr;
  QTimer* Timer1 = nullptr;

 protected:
  bool event(QEvent* e) override;

 private:
  void PlaceFrame();
  Rect monitor_;
  QSize placedFrame_;  // the frame size the window was placed with; placed again once the real one is known
};

// The new-device dialog: where the photos of a device seen for the first time go. It opens on the folder
// chosen last, at first on the working folder the program started in.
class TForm5 : public QDialog {
  Q_OBJECT
 public:
  TForm5();
  // Shows the dialog for the device (its name as text to show), modal, in the screen's top-left corner;
  // finished() tells when it is closed, by "OK" or otherwise (the same).
  void Open(const QString& deviceName);
  // The folder selected in the directory tree, as the file system's bytes.
  std::string ChosenFolder() const;
  // Selects the folder in the tree (and its drive).
  void SelectFolder(const QString& path);

  QLabel* Label4 = nullptr;
  QLabel* Label6 = nullptr;
  QComboBox* DriveComboBox1 = nullptr;
  QTreeView* DirectoryListBox1 = nullptr;
  QPushButton* OkButton = nullptr;

 private:
  void DriveChanged(int index);
  QFileSystemModel* model_ = nullptr;
  QString chosen_;
};

}  // namespace fernpad::app
