#pragma once

#include <QDialog>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QString>
#include <cstdint>

namespace fernpad::app {

// The update's progress window: a fixed-size window with the "Software-Update" band on top, a blue panel
// down the left and the download's page with its progress bar, percentage and Cancel button. Not modal: the
// program's other windows stay usable while the installer comes in.
class TUpdaterForm : public QDialog {
  Q_OBJECT
 public:
  TUpdaterForm();
  // Back to the start of a download (nothing received), shown, its frame centred on the primary screen.
  void Open();
  // received of total bytes; total -1 when the server gave no size.
  void SetProgress(std::int64_t received, std::int64_t total);
  // Label5's text for received of total bytes: the share in per cent with one decimal, written the
  // locale's way, or the amount received when the total is unknown.
  static QString ProgressText(std::int64_t received, std::int64_t total, const QLocale& locale = QLocale());

  QStackedWidget* PageControl1 = nullptr;
  QLabel* Label5 = nullptr;
  QProgressBar* ProgressBar1 = nullptr;
  QPushButton* CancelButton = nullptr;

 signals:
  // Cancel was pressed, or the window closed by the user (its close box or Escape).
  void CancelPressed();

 public slots:
  void reject() override;

 protected:
  bool event(QEvent* e) override;

 private:
  void Reset();
  // Puts the frame in the middle of the primary screen.
  void Centre();
  QSize centredFrame_;  // the frame size the window was last centred with
};

}  // namespace fernpad::app
