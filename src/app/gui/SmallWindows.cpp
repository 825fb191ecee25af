#include "app/gui/SmallWindows.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImageReader>
#include <QKeyEvent>
#include <QPainter>
#include <QRegion>
#include <QScreen>
#include <QStorageInfo>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>

#include "app/Placement.h"
#include "app/gui/FolderText.h"

namespace fernpad::app {
namespace {

// Pictures are never decoded larger than this on a side (a photo is shown on one monitor at most).
constexpr int kMaxPictureSide = 8192;

void PaintBlack(QWidget& w) {
  QPalette pal = w.palette();
  pal.setColor(QPalette::Window, Qt::black);
  w.setPalette(pal);
  w.setAutoFillBackground(true);
}

}  // namespace

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

QImage ReadPicture(const std::string& path, QSize fitInto) {
  const QString file = FolderText(path);
  QByteArray format = QFileInfo(file).suffix().toLower().toLatin1();
  if (format == "jpg") format = "jpeg";
  if (format.isEmpty() || !QImageReader::supportedImageFormats().contains(format)) return {};
  QImageReader reader(file, format);
  reader.setAutoTransform(false);
  const QSize size = reader.size();
  if (!fitInto.isValid() || fitInto.isEmpty()) fitInto = {kMaxPictureSide, kMaxPictureSide};
  if (size.isValid() && (size.width() > fitInto.width() || size.height() > fitInto.height()))
    reader.setScaledSize(size.scaled(fitInto, Qt::KeepAspectRatio));
  return reader.read();
}

FittedPicture::FittedPicture(QWidget* parent) : QWidget(parent) {
  setObjectName("Image1");
  PaintBlack(*this);
}

void FittedPicture::SetPicture(const QImage& picture) {
  picture_ = picture;
  scaled_ = {};
  update();
}

void FittedPicture::resizeEvent(QResizeEvent*) {
  scaled_ = {};
}

void FittedPicture::paintEvent(QPaintEvent*) {
  const Rect at = FittedIn({width(), height()}, {picture_.width(), picture_.height()});
  if (at.width <= 0) return;
  if (scaled_.isNull())
    scaled_ = QPixmap::fromImage(
        picture_.scaled(at.width, at.height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
  QPainter p(this);
  p.drawPixmap(at.left, at.top, scaled_);
}

TImageForm::TImageForm() : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
  setObjectName("ImageForm");
  setWindowTitle("ImageForm");
  PaintBlack(*this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  Image1 = new FittedPicture(this);
  layout->addWidget(Image1);
  setGeometry(0, 0, 0, 0);
}

void TImageForm::ShowOn(const Rect& monitor, const QImage& picture) {
  // Full screen in the window manager's sense: a plain window on top is kept out of the task bar's area.
  setGeometry(monitor.left, monitor.top, monitor.width, monitor.height);
  const QPoint centre(monitor.left + monitor.width / 2, monitor.top + monitor.height / 2);
  if (QScreen* screen = QGuiApplication::screenAt(centre)) {
    winId();  // the native window, to put on that monitor
    windowHandle()->setScreen(screen);
  }
  showFullScreen();
  raise();
  if (!picture.isNull()) Image1->SetPicture(picture);
}

void TImageForm::CloseImage() {
  close();
  setGeometry(x(), y(), 0, 0);  // a window system may keep a size of its own for a window that has been shown
}

void TImageForm::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape)
    CloseImage();
  else
    QWidget::keyPressEvent(e);
}

TForm4::TForm4() : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint) {
  setObjectName("Form4");
  setWindowTitle("Preview");
  setAttribute(Qt::WA_ShowWithoutActivating);  // a photo arriving never takes the keyboard away
  PaintBlack(*this);
  setFixedSize(105, 105);
  Image1 = new FittedPicture(this);
  Image1->setGeometry(0, 0, 105, 105);
  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(10000);
  connect(Timer1, &QTimer::timeout, this, &QWidget::close);  // and runs on
}

void TForm4::ShowPreview(const Rect& monitor, const QImage& picture) {
  monitor_ = monitor;
  PlaceFrame();
  show();
  raise();
  if (picture.isNull()) return;
  Image1->SetPicture(picture);
  Timer1->stop();
  Timer1->start();
}

void TForm4::PlaceFrame() {
  placedFrame_ = frameGeometry().size();
  const Point at = PreviewCorner(monitor_, {placedFrame_.width(), placedFrame_.height()});
  move(at.x, at.y);  // the frame's top-left corner
}

bool TForm4::event(QEvent* e) {
  // The frame's size is known once the window manager has framed the window: placed again with it.
  const auto type = e->type();
  if (isVisible() && placedFrame_.isValid() &&
      (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show || type == QEvent::Paint) &&
      frameGeometry().size() != placedFrame_)
    PlaceFrame();
  return QWidget::event(e);
}

TForm5::TForm5()
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                           Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName("Form5");
  setWindowTitle("New device detected");
  setFixedSize(406, 398);
  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(0, 0, 0, 0);
  root->setSpacing(0);

  auto* band = new QWidget(this);
  band->setFixedHeight(66);
  QPalette white = band->palette();
  white.setColor(QPalette::Window, Qt::white);
  white.setColor(QPalette::WindowText, Qt::black);
  band->setPalette(white);
  band->setAutoFillBackground(true);
  auto* bandLayout = new QHBoxLayout(band);
  bandLayout->setContentsMargins(16, 0, 16, 0);
  auto* title = new QLabel("New device detected", band);
  QFont big = title->font();
  big.setPixelSize(20);
  title->setFont(big);
  bandLayout->addWidget(title);
  root->addWidget(band);

  auto* body = new QVBoxLayout;
  body->setContentsMargins(26, 8, 26, 10);
  body->setSpacing(4);
  body->addWidget(new QLabel("A new device wants to upload images to your computer.", this));
  auto* nameRow = new QHBoxLayout;
  nameRow->addWidget(new QLabel("Device name:", this));
  Label4 = new QLabel(this);
  Label4->setObjectName("Label4");
  Label4->setTextFormat(Qt::PlainText);
  nameRow->addWidget(Label4, 1);
  body->addLayout(nameRow);
  auto* prompt = new QLabel("Please, select a directory where the images should be saved:", this);
  prompt->setWordWrap(true);
  body->addWidget(prompt);
  Label6 = new QLabel(this);
  Label6->setObjectName("Label6");
  Label6->setTextFormat(Qt::PlainText);
  body->addWidget(Label6);

  DriveComboBox1 = new QComboBox(this);
  DriveComboBox1->setObjectName("DriveComboBox1");
  DriveComboBox1->setFixedWidth(354);
  QStringList drives;
  for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
    if (volume.isValid() && volume.isReady()) drives << volume.rootPath();
  drives.sort();
  drives.removeDuplicates();
  DriveComboBox1->addItems(drives);
  body->addWidget(DriveComboBox1);

  model_ = new QFileSystemModel(this);
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  model_->setRootPath(QDir::rootPath());
  DirectoryListBox1 = new QTreeView(this);
  DirectoryListBox1->setObjectName("DirectoryListBox1");
  DirectoryListBox1->setFixedSize(354, 137);
  DirectoryListBox1->setModel(model_);
  DirectoryListBox1->setRootIndex(model_->index(QDir::rootPath()));
  for (int column = 1; column < model_->columnCount(); ++column) DirectoryListBox1->hideColumn(column);
  DirectoryListBox1->header()->hide();
  body->addWidget(DirectoryListBox1);
  connect(DirectoryListBox1->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) {
            if (!current.isValid()) return;
            chosen_ = model_->filePath(current);
            Label6->setText(QDir::toNativeSeparators(chosen_));
          });
  connect(DriveComboBox1, &QComboBox::activated, this, &TForm5::DriveChanged);

  OkButton = new QPushButton("OK", this);
  OkButton->setObjectName("OkButton");
  OkButton->setDefault(true);
  connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
  body->addStretch(1);
  body->addWidget(OkButton, 0, Qt::AlignHCenter);
  root->addLayout(body, 1);

  SelectFolder(QDir::currentPath());  // the first use opens where the program started
}

void TForm5::Open(const QString& deviceName) {
  Label4->setText(deviceName);
  if (const QScreen* screen = QGuiApplication::primaryScreen()) move(screen->geometry().topLeft());
  SelectFolder(chosen_);  // where the user left it
  show();
  raise();
  activateWindow();
}

std::string TForm5::ChosenFolder() const {
  return FolderBytes(chosen_);
}

void TForm5::SelectFolder(const QString& path) {
  chosen_ = QDir::cleanPath(path);
  Label6->setText(QDir::toNativeSeparators(chosen_));
  // The drive is the volume whose root is the longest start of the path.
  int drive = -1;
  qsizetype longest = -1;
  for (int i = 0; i < DriveComboBox1->count(); ++i) {
    const QString root = DriveComboBox1->itemText(i);
    const bool holds = chosen_ == root || chosen_.startsWith(root.endsWith('/') ? root : root + '/');
    if (holds && root.size() > longest) {
      drive = i;
      longest = root.size();
    }
  }
  DriveComboBox1->setCurrentIndex(drive);
  const QModelIndex index = model_->index(chosen_);
  if (!index.isValid()) return;
  DirectoryListBox1->setCurrentIndex(index);
  DirectoryListBox1->scrollTo(index);
}

void TForm5::DriveChanged(int index) {
  if (index >= 0) SelectFolder(DriveComboBox1->itemText(index));
}

}  // namespace fernpad::app
