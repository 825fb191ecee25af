// Pictures of the main window's four pages as a user sees them: the window over example settings, each page
// shown in turn and read back from the screen, saved as PNG files. Run by scripts/windows-screenshots.sh
// (which keeps them with the documentation) and by ctest, which checks that every page is drawn.
// Usage: fernpad_page_shots OUTPUT_FOLDER
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "../app/ExampleOptions.h"
#include "app/win/MainForm.h"
#include "settings/LiveSettings.h"
#include "upload/Devices.h"

namespace fernpad::app {
namespace {

using Microsoft::WRL::ComPtr;

void Check(HRESULT result, const char* what) {
  if (FAILED(result)) throw std::runtime_error(std::string(what) + " failed");
}

// Runs the window's messages for a while, so that it is laid out and painted.
void Pump(DWORD milliseconds) {
  const DWORD end = ::GetTickCount() + milliseconds;
  while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&message);
      ::DispatchMessageW(&message);
    }
    ::Sleep(10);
  }
}

struct Shot {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // top-down, 0x00RRGGBB
};

// The window as it is on the screen, frame included.
Shot ReadFromScreen(HWND window) {
  RECT box;
  ::GetWindowRect(window, &box);
  Shot shot{box.right - box.left, box.bottom - box.top, {}};
  shot.pixels.resize(static_cast<std::size_t>(shot.width) * shot.height);
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), shot.width, -shot.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, shot.width, shot.height, screen, box.left, box.top, SRCCOPY);
  ::GdiFlush();
  std::memcpy(shot.pixels.data(), bits, shot.pixels.size() * 4);
  ::SelectObject(memory, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return shot;
}

void SavePng(const Shot& shot, const std::filesystem::path& file) {
  ComPtr<IWICImagingFactory> factory;
  Check(::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)),
        "the imaging factory");
  ComPtr<IWICStream> stream;
  Check(factory->CreateStream(&stream), "a stream");
  Check(stream->InitializeFromFilename(file.wstring().c_str(), GENERIC_WRITE), "opening the file");
  ComPtr<IWICBitmapEncoder> encoder;
  Check(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder), "the PNG encoder");
  Check(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "starting the encoder");
  ComPtr<IWICBitmapFrameEncode> frame;
  Check(encoder->CreateNewFrame(&frame, nullptr), "a frame");
  Check(frame->Initialize(nullptr), "the frame");
  Check(frame->SetSize(shot.width, shot.height), "the size");
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  Check(frame->SetPixelFormat(&format), "the pixel format");
  std::vector<BYTE> rows(static_cast<std::size_t>(shot.width) * 3 * shot.height);
  for (std::size_t i = 0; i < shot.pixels.size(); ++i) {
    rows[i * 3] = static_cast<BYTE>(shot.pixels[i]);
    rows[i * 3 + 1] = static_cast<BYTE>(shot.pixels[i] >> 8);
    rows[i * 3 + 2] = static_cast<BYTE>(shot.pixels[i] >> 16);
  }
  Check(frame->WritePixels(shot.height, shot.width * 3, static_cast<UINT>(rows.size()), rows.data()),
        "the pixels");
  Check(frame->Commit(), "the frame");
  Check(encoder->Commit(), "the file");
}

int Run(const std::filesystem::path& folder) {
  settings::LiveSettings live;
  const settings::Options options = ExampleOptions("C:\\Users\\Public\\Pictures\\");
  live.Load(options);
  upload::UploadDevices devices(live, [](const std::string&) { return std::string(); });
  devices.LoadOptions(options.DefaultFolder);
  TForm1 form(live, [] { return std::string("192.168.1.10"); });
  form.LoadControls(live.Get(), options.DefaultFolder);
  form.AttachDevices(&devices);
  form.SetCountryAndLayout(49, "German");
  form.ShowWebRemote({true, true, {"http://192.168.1.10:12773/#3f9c2a7e51d04b8c96e1a0f4d2b7c5e8"}, ""});
  form.TrayIcon1Click();
  static const char* const kNames[TForm1::kPageCount] = {"general", "access-control", "debug",
                                                         "image-upload"};
  std::filesystem::create_directories(folder);
  int blank = 0;
  for (int page = 0; page < TForm1::kPageCount; ++page) {
    form.ShowPage(page);
    Pump(page == 0 ? 1500 : 500);
    const Shot shot = ReadFromScreen(form.Window());
    // A page that was drawn has text and controls: many colours. A window not (yet) painted has one or two.
    const std::set<std::uint32_t> colours(shot.pixels.begin(), shot.pixels.end());
    const auto file = folder / ("windows-page-" + std::to_string(page + 1) + "-" + kNames[page] + ".png");
    SavePng(shot, file);
    std::printf("%s: %dx%d, %zu colours\n", file.string().c_str(), shot.width, shot.height, colours.size());
    if (colours.size() < 8) ++blank;
  }
  if (blank != 0) std::fprintf(stderr, "%d page(s) were not drawn\n", blank);
  return blank == 0 ? 0 : 1;
}

}  // namespace
}  // namespace fernpad::app

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fernpad_page_shots OUTPUT_FOLDER\n");
    return 2;
  }
  ::SetProcessDPIAware();
  if (FAILED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  try {
    return fernpad::app::Run(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
