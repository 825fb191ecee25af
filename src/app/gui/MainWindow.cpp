#include "app/gui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

#include "app/FormSettings.h"
#include "app/Placement.h"
#include "app/Texts.h"
#include "app/gui/FolderText.h"
#include "app/gui/Pictures.h"
#include "app/gui/QtUpdaterUi.h"
#include "core/Cp1252.h"
#include "settings/OptionsStore.h"
#include "upload/Devices.h"
#include "web/QrCode.h"

namespace fernpad::app {
namespace {

QColor FromColorRef(std::uint32_t ref) {
  return QColor(ref & 0xFF, (ref >> 8) & 0xFF, (ref >> 16) & 0xFF);
}
std::uint32_t ToColorRef(const QColor& c) {
  return static_cast<std::uint32_t>(c.red()) | static_cast<std::uint32_t>(c.green()) << 8 |
         static_cast<std::uint32_t>(c.blue()) << 16;
}

// The side of the browser remote's QR code on the General page.
constexpr int kQrSide = 78;

// A QR code as black modules on white with a quiet zone of two modules, whole pixels per module, centred
// in a square of side pixels (as large as fits).
QPixmap QrPicture(const web::QrCode& code, int side) {
  const int modules = code.size + 4;
  const int scale = std::max(1, side / modules);
  const int offset = (side - modules * scale) / 2 + 2 * scale;
  QPixmap picture(side, side);
  picture.fill(Qt::white);
  QPainter painter(&picture);
  for (int y = 0; y < code.size; ++y)
    for (int x = 0; x < code.size; ++x)
      if (code.Dark(x, y)) painter.fillRect(offset + x * scale, offset + y * scale, scale, scale, Qt::black);
  return picture;
}

QLabel* Caption(const QString& text, QWidget* parent) {
  return new QLabel(text, parent);
}

// A picture or caption that opens a web page about one of the maker's handheld apps.
class LinkLabel : public QLabel {
 public:
  LinkLabel(const QString& text, const QPixmap& picture, const QString& url, QWidget* parent)
      : QLabel(parent), url_(url) {
    if (picture.isNull()) {
      setText(text);
    } else {
      setPixmap(picture);
      setToolTip(text);
    }
    setCursor(Qt::PointingHandCursor);
  }

 protected:
  void mousePressEvent(QMouseEvent*) override { QDesktopServices::openUrl(QUrl(url_)); }

 private:
  QString url_;
};

// The Windows virtual-key code of a key pressed in the window, for the Debug page.
int VirtualKeyOf(const QKeyEvent& e) {
  const int key = e.key();
  if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return key;
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 0x70 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Backspace:
      return 0x08;
    case Qt::Key_Tab:
      return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 0x0D;
    case Qt::Key_Shift:
      return 0x10;
    case Qt::Key_Control:
      return 0x11;
    case Qt::Key_Alt:
      return 0x12;
    case Qt::Key_Pause:
      return 0x13;
    case Qt::Key_CapsLock:
      return 0x14;
    case Qt::Key_Escape:
      return 0x1B;
    case Qt::Key_Space:
      return 0x20;
    case Qt::Key_PageUp:
      return 0x21;
    case Qt::Key_PageDown:
      return 0x22;
    case Qt::Key_End:
      return 0x23;
    case Qt::Key_Home:
      return 0x24;
    case Qt::Key_Left:
      return 0x25;
    case Qt::Key_Up:
      return 0x26;
    case Qt::Key_Right:
      return 0x27;
    case Qt::Key_Down:
      return 0x28;
    case Qt::Key_Insert:
      return 0x2D;
    case Qt::Key_Delete:
      return 0x2E;
    default:
      return static_cast<int>(e.nativeVirtualKey() & 0xFF);
  }
}

}  // namespace

ColorSwatch::ColorSwatch(QWidget* parent) : QWidget(parent) {
  setFixedSize(15, 15);
  setCursor(Qt::PointingHandCursor);
}

void ColorSwatch::SetColor(const QColor& color) {
  color_ = color;
  update();
}

void ColorSwatch::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(color_);
  p.drawEllipse(QRectF(0.5, 0.5, 14, 14));
}

void ColorSwatch::mousePressEvent(QMouseEvent*) {
  emit pressed();
}

TForm1::TForm1(settings::LiveSettings& settings, std::function<std::string()> addresses)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                           Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      settings_(settings),
      addresses_(std::move(addresses)) {
  setObjectName("Form1");
  setWindowTitle(kMainWindowTitle);
  setFixedSize(643, 371);

  auto* root = new QVBoxLayout(this);
  root->setContentsMargins(8, 6, 8, 6);
  root->setSpacing(2);
  auto* heading = new QLabel("Fernpad Server is running.", this);
  QFont big = heading->font();
  big.setPointSizeF(big.pointSizeF() * 1.5);
  big.setBold(true);
  heading->setFont(big);
  root->addWidget(heading);
  root->addWidget(Caption("Minimize this window to keep the server running.", this));
  root->addWidget(Caption("Close this window to stop the server.", this));
  Label7 = new QLabel("The server IP(s) is / are: ", this);
  Label7->setObjectName("Label7");
  Label7->setTextInteractionFlags(Qt::TextSelectableByMouse);
  root->addWidget(Label7);

  // The port field and its button exist for a build that lets the user move the endpoint; hidden here.
  auto* portRow = new QHBoxLayout;
  auto* portCaption = Caption("Server port:", this);
  SpinEdit1 = new QSpinBox(this);
  SpinEdit1->setObjectName("SpinEdit1");
  SpinEdit1->setRange(1, 65535);
  SpinEdit1->setValue(12769);
  Button1 = new QPushButton("Apply", this);
  Button1->setObjectName("Button1");
  portRow->addWidget(portCaption);
  portRow->addWidget(SpinEdit1);
  portRow->addWidget(Button1);
  portCaption->hide();
  SpinEdit1->hide();
  Button1->hide();
  root->addLayout(portRow);

  PageControl1 = new QTabWidget(this);
  PageControl1->setObjectName("PageControl1");
  PageControl1->addTab(BuildGeneralPage(), "General settings");
  PageControl1->addTab(BuildAccessPage(), "Access control");
  PageControl1->addTab(BuildDebugPage(), "Debug");
  PageControl1->addTab(BuildUploadPage(), "Image Upload (Snapferry WiFi)");
  root->addWidget(PageControl1, 1);

  auto* bottom = new QHBoxLayout;
  UpdateNowButton = new QPushButton("Check for online updates now", this);
  UpdateNowButton->setObjectName("Button6");
  CheckBox2 = new QCheckBox("Check on startup", this);
  CheckBox2->setObjectName("CheckBox2");
  bottom->addWidget(UpdateNowButton);
  bottom->addWidget(CheckBox2);
  bottom->addStretch(1);
  root->addLayout(bottom);

  UpdateTimer = new QTimer(this);
  UpdateTimer->setObjectName("UpdateTimer");
  UpdateTimer->setSingleShot(true);
  connect(UpdateTimer, &QTimer::timeout, this, &TForm1::UpdateTimerTimer);
  connect(UpdateNowButton, &QPushButton::clicked, this, &TForm1::Button6Click);
  updateCheck_ = std::make_unique<UpdateCheckThread>();
  connect(updateCheck_.get(), &UpdateCheckThread::Finished, this, [this] { SetStayOnTop(true); });

  trayAvailable_ = QSystemTrayIcon::isSystemTrayAvailable();
  TrayIcon1 = new QSystemTrayIcon(TrayPicture(), this);
  TrayIcon1->setObjectName("TrayIcon1");
  TrayIcon1->setToolTip("Fernpad Server");
  connect(TrayIcon1, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) TrayIcon1Click();
  });
  // Shown even without a tray: Qt docks the icon in any tray that appears later. Qt tells nobody when a
  // tray comes or goes, so the window asks once a second (a cached answer, or one short X request).
  TrayIcon1->show();
  trayWatch_ = new QTimer(this);
  trayWatch_->setObjectName("TrayWatch");
  trayWatch_->setInterval(1000);
  connect(trayWatch_, &QTimer::timeout, this, [this] {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available != trayAvailable_) TrayAvailabilityChanged(available);
    // A minimised window the change of state did not hide (seen once in hundreds of minimises, cause
    // unknown) goes into the tray now.
    else if (trayAvailable_ && isMinimized() && isVisible())
      hide();
  });
  trayWatch_->start();

  // Every visible option control reports to the one settings-changed handler.
  connect(ScrollBar1, &QScrollBar::valueChanged, this, &TForm1::SettingsChanged);
  for (QCheckBox* box : {CheckBox1, CheckBox2, CheckBox3, CheckBox5})
    connect(box, &QCheckBox::toggled, this, &TForm1::SettingsChanged);
  qApp->installEventFilter(this);
  PageControl1->setCurrentIndex(0);
}

TForm1::~TForm1() {
  EndUpdateCheck();
}

QWidget* TForm1::BuildGeneralPage() {
  auto* page = new QWidget;
  auto* layout = new QGridLayout(page);

  auto* mouse = new QGroupBox("Fernpad settings", page);
  auto* mouseLayout = new QHBoxLayout(mouse);
  mouseLayout->addWidget(new QLabel(mouse));
  static_cast<QLabel*>(mouseLayout->itemAt(0)->widget())->setPixmap(PadPicture());
  auto* accel = new QVBoxLayout;
  accel->addWidget(Caption("Mouse acceleration:", mouse));
  ScrollBar1 = new QScrollBar(Qt::Horizontal, mouse);
  ScrollBar1->setObjectName("ScrollBar1");
  ScrollBar1->setRange(1, 100);
  ScrollBar1->setValue(1);
  accel->addWidget(ScrollBar1);
  mouseLayout->addLayout(accel, 1);
  layout->addWidget(mouse, 0, 0);

  auto* lumidot = new QGroupBox("Lumidot settings", page);
  auto* lumiLayout = new QGridLayout(lumidot);
  auto* lumiPicture = new QLabel(lumidot);
  lumiPicture->setPixmap(PointerPicture());
  lumiLayout->addWidget(lumiPicture, 0, 0, 2, 1);
  auto* colorRow = new QHBoxLayout;
  Shape1 = new ColorSwatch(lumidot);
  Shape1->setObjectName("Shape1");
  colorRow->addWidget(Shape1);
  colorRow->addWidget(Caption("Pointer color", lumidot));
  colorRow->addStretch(1);
  lumiLayout->addLayout(colorRow, 0, 1);
  CheckBox1 = new QCheckBox("Smooth image (needs more CPU time)", lumidot);
  CheckBox1->setObjectName("CheckBox1");
  lumiLayout->addWidget(CheckBox1, 1, 1);
  layout->addWidget(lumidot, 0, 1);
  connect(Shape1, &ColorSwatch::pressed, this, [this] {
    const QColor chosen = QColorDialog::getColor(Shape1->Color(), this, "Pointer color");
    if (!chosen.isValid()) return;  // cancelled: nothing changes, nothing is saved
    Shape1->SetColor(chosen);
    emit PointerColorChanged(chosen);
    settings_.Change([&](settings::Options& o) { o.PointerColor = ToColorRef(chosen); });
  });

  auto* more = new QGroupBox("More apps for your handheld", page);
  auto* moreLayout = new QGridLayout(more);
  moreLayout->addWidget(new LinkLabel("Fernpad", PadPicture(), kFernpadPage, more), 0, 0);
  moreLayout->addWidget(new LinkLabel("Fernpad remote", {}, kFernpadPage, more), 0, 1);
  moreLayout->addWidget(new LinkLabel("Snapferry WiFi", PhotoPicture(), kSnapferryPage, more), 1, 0);
  moreLayout->addWidget(new LinkLabel("Snapferry WiFi photos", {}, kSnapferryPage, more), 1, 1);
  moreLayout->setColumnStretch(1, 1);
  layout->addWidget(more, 1, 0);
  layout->addWidget(BuildWebRemoteGroup(page), 1, 1);

  layout->setColumnStretch(0, 2);
  layout->setColumnStretch(1, 3);
  CheckBox3 = new QCheckBox("Start Fernpad Server with Windows", page);
  CheckBox3->setObjectName("CheckBox3");
  layout->addWidget(CheckBox3, 2, 0, 1, 2);
  BackendLabel = new QLabel(page);
  BackendLabel->setObjectName("BackendLabel");
  BackendLabel->setWordWrap(true);
  layout->addWidget(BackendLabel, 3, 0, 1, 2);
  return page;
}

QGroupBox* TForm1::BuildWebRemoteGroup(QWidget* page) {
  auto* group = new QGroupBox("Control from a web browser", page);
  auto* layout = new QGridLayout(group);
  layout->setContentsMargins(6, 2, 6, 2);
  layout->setVerticalSpacing(2);
  WebRemoteBox = new QCheckBox("Browser remote", group);
  WebRemoteBox->setObjectName("WebRemoteBox");
  WebRemoteBox->setToolTip("Lets phones and tablets on this network control the PC from their web browser");
  KeepAddressBox = new QCheckBox("Keep this address", group);
  KeepAddressBox->setObjectName("KeepAddressBox");
  KeepAddressBox->setToolTip("The address stays the same when Fernpad Server starts again");
  WebAddressBox = new QComboBox(group);
  WebAddressBox->setObjectName("WebAddressBox");
  WebAddressBox->setEditable(true);  // so the address can be selected and copied
  WebAddressBox->lineEdit()->setReadOnly(true);
  WebStatus = new QLabel(group);
  WebStatus->setObjectName("WebStatus");
  WebStatus->setWordWrap(true);
  WebStatus->setStyleSheet("color: #b00000");  // it shows only what went wrong
  WebQrCode = new QLabel(group);
  WebQrCode->setObjectName("WebQrCode");
  WebQrCode->setFixedSize(kQrSide, kQrSide);
  WebQrCode->setAlignment(Qt::AlignCenter);
  layout->addWidget(WebRemoteBox, 0, 0);
  layout->addWidget(KeepAddressBox, 1, 0);
  layout->addWidget(WebAddressBox, 2, 0);
  layout->addWidget(WebStatus, 3, 0);
  layout->setRowStretch(3, 1);
  layout->addWidget(WebQrCode, 0, 1, 4, 1);
  layout->setColumnStretch(0, 1);
  auto change = [this] {
    if (webRemote_) ShowWebRemote(webRemote_->Change(WebRemoteBox->isChecked(), KeepAddressBox->isChecked()));
  };
  connect(WebRemoteBox, &QCheckBox::clicked, this, change);
  connect(KeepAddressBox, &QCheckBox::clicked, this, change);
  connect(WebAddressBox, &QComboBox::currentIndexChanged, this, &TForm1::ShowWebQrCode);
  return group;
}

void TForm1::AttachWebRemote(WebRemoteGroup* group) {
  webRemote_ = group;
  if (group) ShowWebRemote(group->Current());
}

void TForm1::ShowWebRemote(const WebRemoteGroup::State& state) {
  WebRemoteBox->setChecked(state.on);
  KeepAddressBox->setChecked(state.keep);
  KeepAddressBox->setEnabled(state.on);
  const QString picked = WebAddressBox->currentText();
  {
    const QSignalBlocker quiet(WebAddressBox);
    WebAddressBox->clear();
    for (const auto& address : state.addresses) WebAddressBox->addItem(QString::fromStdString(address));
    WebAddressBox->setCurrentIndex(std::max(0, WebAddressBox->findText(picked)));
  }
  WebAddressBox->setVisible(state.on);
  WebAddressBox->lineEdit()->setCursorPosition(0);  // the start of the address shows
  QString status;
  if (!state.error.empty())
    status = QString::fromStdString(state.error);
  else if (state.on && state.addresses.empty())
    status = "This PC has no network address a phone could reach.";
  WebStatus->setText(status);
  WebStatus->setVisible(!status.isEmpty());
  ShowWebQrCode();
}

void TForm1::ShowWebQrCode() {
  const auto code = WebRemoteBox->isChecked() && WebAddressBox->count() > 0
                        ? web::MakeQrCode(WebAddressBox->currentText().toStdString())
                        : std::nullopt;
  WebQrCode->setPixmap(code ? QrPicture(*code, kQrSide) : QPixmap());
  WebQrCode->setVisible(code.has_value());
}

QWidget* TForm1::BuildAccessPage() {
  auto* page = new QWidget;
  auto* layout = new QGridLayout(page);
  auto makeList = [&](const char* caption, const char* name, int column, QListWidget*& list,
                      QPushButton*& delSel, const char* selName, QPushButton*& delAll, const char* allName) {
    layout->addWidget(Caption(caption, page), 0, column);
    list = new QListWidget(page);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    layout->addWidget(list, 1, column);
    auto* buttons = new QHBoxLayout;
    delSel = new QPushButton("Delete selected", page);
    delSel->setObjectName(selName);
    delAll = new QPushButton("Delete all", page);
    delAll->setObjectName(allName);
    buttons->addWidget(delSel);
    buttons->addWidget(delAll);
    layout->addLayout(buttons, 2, column);
  };
  makeList("Hosts allowed:", "ListBox1", 0, ListBox1, Button2, "Button2", Button3, "Button3");
  makeList("Hosts denied:", "ListBox2", 1, ListBox2, Button4, "Button4", Button5, "Button5");
  layout->itemAtPosition(0, 0)->widget()->setObjectName("Label13");
  layout->itemAtPosition(0, 1)->widget()->setObjectName("Label14");
  // "Delete selected" removes the selected lines (also none: the options are saved all the same);
  // "Delete all" empties the list.
  auto deleteSelected = [this](QListWidget* box, HostList list) {
    std::vector<int> rows;
    for (const QModelIndex& index : box->selectionModel()->selectedRows()) rows.push_back(index.row());
    DeleteSelectedHosts(settings_, list, std::move(rows));
    RefreshHostLists();
  };
  auto deleteAll = [this](HostList list) {
    DeleteAllHosts(settings_, list);
    RefreshHostLists();
  };
  connect(Button2, &QPushButton::clicked, this,
          [this, deleteSelected] { deleteSelected(ListBox1, HostList::Allowed); });
  connect(Button3, &QPushButton::clicked, this, [deleteAll] { deleteAll(HostList::Allowed); });
  connect(Button4, &QPushButton::clicked, this,
          [this, deleteSelected] { deleteSelected(ListBox2, HostList::Denied); });
  connect(Button5, &QPushButton::clicked, this, [deleteAll] { deleteAll(HostList::Denied); });
  CheckBox5 = new QCheckBox("Disable Access control", page);
  CheckBox5->setObjectName("CheckBox5");
  layout->addWidget(CheckBox5, 3, 0, 1, 2);
  return page;
}

QWidget* TForm1::BuildDebugPage() {
  auto* page = new QWidget;
  auto* layout = new QGridLayout(page);
  layout->addWidget(Caption("Virtual key:", page), 0, 0);
  Label10 = new QLabel("0", page);
  Label10->setObjectName("Label10");
  layout->addWidget(Label10, 0, 1);
  layout->addWidget(Caption("Country code:", page), 1, 0);
  Label19 = new QLabel(page);
  Label19->setObjectName("Label19");
  layout->addWidget(Label19, 1, 1);
  layout->addWidget(Caption("Keyboard layout name:", page), 2, 0);
  Label21 = new QLabel(page);
  Label21->setObjectName("Label21");
  layout->addWidget(Label21, 2, 1);
  CheckBox4 =
      new QCheckBox("Enable this box if the cursor jumps to the upper left corner of the screen", page);
  CheckBox4->setObjectName("CheckBox4");
  CheckBox4->hide();
  layout->addWidget(CheckBox4, 3, 0, 1, 2);
  layout->setColumnStretch(1, 1);
  layout->setRowStretch(4, 1);
  return page;
}

QWidget* TForm1::BuildUploadPage() {
  auto* page = new QWidget;
  auto* layout = new QGridLayout(page);
  layout->addWidget(Caption("Save received images to:", page), 0, 0);
  Edit1 = new QLineEdit(page);
  Edit1->setObjectName("Edit1");
  Edit1->setReadOnly(true);  // chosen with "..."
  layout->addWidget(Edit1, 0, 1);
  Button7 = new QPushButton("...", page);
  Button7->setObjectName("Button7");
  layout->addWidget(Button7, 0, 2);
  layout->addWidget(Caption("Device:", page), 1, 0);
  ComboBox1 = new QComboBox(page);
  ComboBox1->setObjectName("ComboBox1");
  layout->addWidget(ComboBox1, 1, 1);
  Button8 = new QPushButton("Delete this device", page);
  Button8->setObjectName("Button8");
  layout->addWidget(Button8, 1, 2);
  auto* note = Caption(
      "To add a device, just connect Snapferry WiFi with this server and start the image upload.", page);
  note->setWordWrap(true);
  layout->addWidget(note, 2, 0, 1, 3);
  layout->setRowStretch(3, 1);

  PickFolder = [this](const QString& start) {
    return QFileDialog::getExistingDirectory(this, "Select a directory", start,
                                             QFileDialog::ShowDirsOnly | QFileDialog::ReadOnly);
  };
  // A selection by the user (not one made by the program) shows the entry's folder and saves nothing.
  connect(ComboBox1, &QComboBox::activated, this, [this](int entry) {
    if (!devices_) return;
    devices_->ComboBox1Change(entry);
    RefreshDevices();
  });
  connect(Button7, &QPushButton::clicked, this, &TForm1::Button7Click);
  connect(Button8, &QPushButton::clicked, this, [this] {
    if (!devices_) return;
    devices_->Button8Click();
    RefreshDevices();
  });
  return page;
}

void TForm1::AttachDevices(upload::UploadDevices* devices) {
  devices_ = devices;
  RefreshDevices();
}

void TForm1::RefreshDevices() {
  if (devices_) FillDevicePage(settings_.Get().Devices, devices_->Selected(), devices_->Edit1());
}

void TForm1::FillDevicePage(const std::vector<settings::TSnapferryDevice>& devices, int selected,
                            const std::string& folder) {
  const QSignalBlocker quiet(ComboBox1);
  ComboBox1->clear();
  for (const auto& entry : DeviceEntries(devices))
    ComboBox1->addItem(QString::fromStdString(Cp1252ToUtf8(entry)));
  ComboBox1->setCurrentIndex(selected);
  Edit1->setText(FolderText(folder));
}

void TForm1::Button7Click() {
  if (!devices_) return;
  // The folder shown is where the picker starts; cancelling keeps it.
  const std::string shown = devices_->Edit1();
  const QString chosen = PickFolder(FolderText(shown));
  devices_->FolderChosen(FolderAfterPick(shown, chosen.isEmpty() ? std::string() : FolderBytes(chosen)));
  RefreshDevices();
}

void TForm1::Button6Click() {
  StartUpdateCheck(false);
}

void TForm1::UpdateTimerTimer() {
  UpdateTimer->stop();
  StartUpdateCheck(true);
}

void TForm1::StartUpdateCheck(bool silent) {
  if (!UpdaterConfigSource || updateCheck_->Running()) return;
  SetStayOnTop(false);
  const bool started = updateCheck_->Start([source = UpdaterConfigSource, silent](updater::UpdaterUi& ui) {
    return updater::CheckForUpdate(source(), ui, silent);
  });
  if (!started) SetStayOnTop(true);
}

void TForm1::EndUpdateCheck() {
  updateCheck_->Shutdown();
}

void TForm1::SetStayOnTop(bool onTop) {
  if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == onTop) return;
  // New flags make a new native window and hide the widget: a window on screen is shown again.
  const bool shown = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
  if (shown) show();
}

void TForm1::LoadControls(const settings::Options& o, const std::string& fallbackFolder) {
  loading_ = true;
  const ControlStates states = ControlStatesOf(o);
  ScrollBar1->setValue(states.mouseAcceleration);
  CheckBox1->setChecked(states.smoothImage);
  Shape1->SetColor(FromColorRef(o.PointerColor));
  CheckBox2->setChecked(states.checkUpdatesOnStartup);
  CheckBox3->setChecked(states.startWithWindows);
  CheckBox4->setChecked(states.cursorJumpFix);
  CheckBox5->setChecked(states.disableAccessControl);
  FillDevicePage(o.Devices, 0, settings::FolderBoxText(o.DefaultFolder, fallbackFolder));
  FillHostLists(o);
  if (CheckBox2->isChecked()) UpdateTimer->start(1000);
  loading_ = false;
}

void TForm1::SettingsChanged() {
  if (loading_) return;
  StoreControlStates(settings_, {ScrollBar1->value(), CheckBox1->isChecked(), CheckBox2->isChecked(),
                                 CheckBox3->isChecked(), CheckBox4->isChecked(), CheckBox5->isChecked()});
}

void TForm1::SetCountryAndLayout(int countryCode, const QString& layoutName) {
  Label19->setText(QString::number(countryCode));
  Label21->setText(layoutName);
}

void TForm1::SetBackend(const QString& description) {
  BackendLabel->setText(description);
}

void TForm1::FillHostLists(const settings::Options& o) {
  ListBox1->clear();
  for (const auto& host : o.AllowedHosts) ListBox1->addItem(QString::fromStdString(Cp1252ToUtf8(host)));
  ListBox2->clear();
  for (const auto& host : o.DeniedHosts) ListBox2->addItem(QString::fromStdString(Cp1252ToUtf8(host)));
}

void TForm1::RefreshHostLists() {
  FillHostLists(settings_.Get());
}

void TForm1::SetLastVirtualKey(int code) {
  Label10->setText(QString::number(code));
}

void TForm1::FormActivate() {
  // Hidden as soon as it first becomes active: the program lives in the tray. Without a tray the window
  // stays, so the user can still reach it.
  if (firstActivation_) {
    firstActivation_ = false;
    // Withdrawn once the window manager has finished taking the new window on: hidden in the middle of
    // that, a window manager may keep it as minimised, with a task-bar button. It waits off screen.
    if (trayAvailable_)
      QTimer::singleShot(250, this, [this] {
        if (untouched_) hide();
      });
  }
  Label7->setText(QString::fromLatin1(AddressLine(addresses_()).c_str()));
  if (webRemote_) ShowWebRemote(webRemote_->Current());
}

void TForm1::TrayIcon1Click() {
  firstActivation_ = false;
  untouched_ = false;
  showNormal();  // first, so the frame's size is known for centring when the window was framed before
  CentreOnFirstMonitor();
  raise();
  activateWindow();
}

void TForm1::CentreOnFirstMonitor() {
  centring_ = true;
  MoveFrameToCentre();
}

void TForm1::MoveFrameToCentre() {
  const auto screens = QGuiApplication::screens();
  if (screens.isEmpty()) return;
  const QRect m = screens.first()->geometry();
  centredFrame_ = frameGeometry().size();
  const Point at =
      CenteredOn({m.x(), m.y(), m.width(), m.height()}, {centredFrame_.width(), centredFrame_.height()});
  move(at.x, at.y);  // the frame's top-left corner
}

void TForm1::TrayAvailabilityChanged(bool available) {
  trayAvailable_ = available;
  if (available) {
    // From the task bar into the tray; and a window still as the start left it (the tray came after the
    // program, as at login, or was not seen at the first activation) goes where it would have gone.
    if (isMinimized() || (untouched_ && isVisible())) hide();
  } else if (isHidden() && !firstActivation_) {
    TrayIcon1Click();  // nothing else could bring it back
  }
}

bool TForm1::event(QEvent* e) {
  if (e->type() == QEvent::WindowActivate) FormActivate();
  // Shown for the first time (or after the window manager dropped the frame), the window was centred with
  // the size of its client area. The frame is known once the window is on screen: when it is placed,
  // painted or activated, whichever the window manager lets happen first.
  const auto type = e->type();
  if (centring_ &&
      (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Paint ||
       type == QEvent::WindowActivate) &&
      frameGeometry().size() != centredFrame_)
    MoveFrameToCentre();
  if (e->type() == QEvent::Hide) centring_ = false;
  // Without a window manager the window may never become active: the first show then counts.
  if (e->type() == QEvent::Show && firstActivation_)
    QTimer::singleShot(0, this, [this] {
      if (firstActivation_) FormActivate();
    });
  return QWidget::event(e);
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
  // Key preview: every key pressed in the window's controls shows its code on the Debug page.
  const bool mine = watched->isWidgetType() && static_cast<QWidget*>(watched)->window() == this;
  if (mine && (e->type() == QEvent::KeyPress || e->type() == QEvent::MouseButtonPress)) untouched_ = false;
  if (e->type() == QEvent::KeyPress && mine) SetLastVirtualKey(VirtualKeyOf(*static_cast<QKeyEvent*>(e)));
  return QWidget::eventFilter(watched, e);
}

void TForm1::changeEvent(QEvent* e) {
  // Minimising hides the window (when there is a tray icon to bring it back). The window is withdrawn
  // straight from the minimised state: asking for the normal state first raced with the window manager,
  // which now and then restored the frame around the unmapped window. The tray click's showNormal() ends the
  // minimised state.
  if (e->type() == QEvent::WindowStateChange && isMinimized() && trayAvailable_) hide();
  QWidget::changeEvent(e);
}

void TForm1::closeEvent(QCloseEvent* e) {
  e->accept();
  QCoreApplication::quit();
}

}  // namespace fernpad::app
