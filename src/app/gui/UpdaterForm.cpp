#include "app/gui/UpdaterForm.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "app/Placement.h"
#include "app/gui/Pictures.h"

namespace fernpad::app {
namespace {

// The side panel's colour as a Windows colour reference (0x00BBGGRR): a medium blue.
constexpr std::uint32_t kPanelColor = 0x00C08000;

QColor FromColorRef(std::uint32_t ref) {
  return QColor(ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF);
}

void Fill(QWidget& w, const QColor& color) {
  QPalette pal = w.palette();
  pal.setColor(QPalette::Window, color);
  w.setPalette(pal);
  w.setAutoFillBackground(true);
}

// The title's heavy sans font: "Arial Black" where it is installed, else the sans font in bold.
QFont TitleFont(QFont font) {
  if (QFontDatabase::families().contains("Arial Black")) {
    font.setFamily("Arial Black");
  } else {
    font.setStyleHint(QFont::SansSerif);
    font.setBold(true);
  }
  font.setPixelSize(27);
  return font;
}

constexpr int kWidth = 480, kHeight = 290, kBandHeight = 66;

}  // namespace

TUpdaterForm::TUpdaterForm()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("UpdaterForm");
  setWindowTitle("Update");
  setFixedSize(kWidth, kHeight);
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);

  // The band: the title across its whole width, its leading blanks leaving room for the picture.
  auto* band = new QWidget(this);
  band->setObjectName("TitleBand");
  band->setFixedHeight(kBandHeight);
  Fill(*band, Qt::white);
  auto* title = new QLabel("        Software-Update", band);
  title->setObjectName("Label1");
  title->setFont(TitleFont(title->font()));
  QPalette black = title->palette();
  black.setColor(QPalette::WindowText, Qt::black);
  title->setPalette(black);
  title->setGeometry(0, 0, kWidth, kBandHeight);
  title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  auto* picture = new QLabel(band);
  picture->setObjectName("Image1");
  picture->setPixmap(PadPicture());
  picture->setGeometry(12, (kBandHeight - 40) / 2, 40, 40);
  picture->raise();
  root->addWidget(band);

  auto* body = new QHBoxLayout;
  body->setContentsMargins(0, 0, 0, 0);
  body->setSpacing(0);
  auto* panel = new QWidget(this);
  panel->setObjectName("Panel1");
  panel->setFixedWidth(110);
  Fill(*panel, FromColorRef(kPanelColor));
  body->addWidget(panel);

  PageControl1 = new QStackedWidget(this);
  PageControl1->setObjectName("PageControl1");
  auto* page = new QWidget(PageControl1);
  page->setObjectName("LoadingOld");
  auto* layout = new QVBoxLayout(page);
  layout->setContentsMargins(20, 24, 20, 14);
  layout->setSpacing(6);
  auto* wait = new QLabel("Das Update wird geladen. Bitte warten.", page);
  wait->setObjectName("Label4");
  layout->addWidget(wait);
  layout->addSpacing(12);
  ProgressBar1 = new QProgressBar(page);
  ProgressBar1->setObjectName("ProgressBar1");
  ProgressBar1->setTextVisible(false);  // Label5 gives the number
  layout->addWidget(ProgressBar1);
  Label5 = new QLabel(page);
  Label5->setObjectName("Label5");
  Label5->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  layout->addWidget(Label5);
  layout->addStretch(1);
  CancelButton = new QPushButton("Cancel", page);
  CancelButton->setObjectName("CancelButton");
  layout->addWidget(CancelButton, 0, Qt::AlignRight);
  PageControl1->addWidget(page);
  body->addWidget(PageControl1, 1);
  root->addLayout(body, 1);

  connect(CancelButton, &QPushButton::clicked, this, &TUpdaterForm::reject);
  Reset();
}

void TUpdaterForm::Reset() {
  ProgressBar1->setRange(0, 100);
  ProgressBar1->setValue(0);
  Label5->setText("0 %");
}

void TUpdaterForm::Open() {
  Reset();
  show();  // first, so the frame's size is known where the window system tells it at once
  Centre();
  raise();
  activateWindow();
}

void TUpdaterForm::Centre() {
  centredFrame_ = frameGeometry().size();
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect m = screen->geometry();
    const Point at =
        CenteredOn({m.x(), m.y(), m.width(), m.height()}, {centredFrame_.width(), centredFrame_.height()});
    move(at.x, at.y);  // the frame's top-left corner
  }
}

bool TUpdaterForm::event(QEvent* e) {
  // A window manager frames the window after it was shown: centred again with the frame's real size.
  const auto type = e->type();
  if (isVisible() && (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Paint) &&
      frameGeometry().size() != centredFrame_)
    Centre();
  return QDialog::event(e);
}

void TUpdaterForm::reject() {
  emit CancelPressed();
  QDialog::reject();
}

void TUpdaterForm::SetProgress(std::int64_t received, std::int64_t total) {
  Label5->setText(ProgressText(received, total));
  if (total <= 0) {
    ProgressBar1->setRange(0, 0);  // no size: the bar only shows that something is happening
    return;
  }
  // The bar counts in int: a total beyond its range is counted in larger units.
  int shift = 0;
  while ((total >> shift) > INT_MAX) ++shift;
  ProgressBar1->setRange(0, static_cast<int>(total >> shift));
  ProgressBar1->setValue(static_cast<int>(std::clamp<std::int64_t>(received, 0, total) >> shift));
}

QString TUpdaterForm::ProgressText(std::int64_t received, std::int64_t total, const QLocale& locale) {
  if (total <= 0) return locale.formattedDataSize(received, 1, QLocale::DataSizeSIFormat);
  const double percent =
      static_cast<double>(std::clamp<std::int64_t>(received, 0, total)) * 100.0 / static_cast<double>(total);
  return locale.toString(percent, 'f', 1) + " %";
}

}  // namespace fernpad::app
