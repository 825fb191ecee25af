// Pictures of the main window's four pages over example settings, each page drawn by Qt itself
// (QWidget::grab, the offscreen platform: no display needed) and saved as a PNG file. Run by
// scripts/linux-screenshots.sh (which keeps them with the documentation) and by ctest, which checks that
// every page is drawn.
// Usage: fernpad_linux_page_shots OUTPUT_FOLDER
#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QTabWidget>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>

#include "ExampleOptions.h"
#include "app/gui/MainWindow.h"
#include "settings/LiveSettings.h"
#include "upload/Devices.h"

namespace fernpad::app {
namespace {

int Run(const std::filesystem::path& folder) {
  settings::LiveSettings live;
  const settings::Options options = ExampleOptions("/home/user/Pictures/");
  live.Load(options);
  upload::UploadDevices devices(live, [](const std::string&) { return std::string(); });
  devices.LoadOptions(options.DefaultFolder);
  TForm1 form(live, [] { return std::string("192.168.1.10"); });
  form.LoadControls(live.Get(), options.DefaultFolder);
  form.AttachDevices(&devices);
  form.SetCountryAndLayout(49, "German");
  form.ShowWebRemote({true, false, {"http://192.168.1.10:12773/#4f2a91c07be35d68e1a0c94b7d2f6e13"}, ""});
  form.show();
  auto* pages = form.findChild<QTabWidget*>("PageControl1");
  if (pages == nullptr) return 1;
  static const char* const kNames[] = {"general", "access-control", "debug", "image-upload"};
  std::filesystem::create_directories(folder);
  int blank = 0;
  for (int page = 0; page < pages->count() && page < 4; ++page) {
    pages->setCurrentIndex(page);
    QApplication::processEvents();
    const QImage shot = form.grab().toImage().convertToFormat(QImage::Format_RGB32);
    // A page that was drawn has text and controls: many colours. An empty one has one or two.
    std::set<QRgb> colours;
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x) colours.insert(shot.pixel(x, y));
    const auto file = folder / ("linux-page-" + std::to_string(page + 1) + "-" + kNames[page] + ".png");
    if (!shot.save(QString::fromStdString(file.string()), "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", file.string().c_str());
      return 1;
    }
    std::printf("%s: %dx%d, %zu colours\n", file.string().c_str(), shot.width(), shot.height(),
                colours.size());
    if (colours.size() < 8) ++blank;
  }
  if (pages->count() != 4) ++blank;
  if (blank != 0) std::fprintf(stderr, "%d page(s) were not drawn\n", blank);
  return blank == 0 ? 0 : 1;
}

}  // namespace
}  // namespace fernpad::app

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fernpad_linux_page_shots OUTPUT_FOLDER\n");
    return 2;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  return fernpad::app::Run(argv[1]);
}
