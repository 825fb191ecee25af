#include "app/win/SmallForms.h"

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <iterator>
#include <stdexcept>

#include "app/Placement.h"
#include "app/win/WindowSupport.h"
#include "imaging/Jpeg.h"
#include "platform/windows/WideText.h"
#include "settings/FileIo.h"

namespace fernpad::app {
namespace {

constexpr wchar_t kPointerClass[] = L"FernpadPointerForm";
constexpr wchar_t kImageClass[] = L"FernpadImageForm";
constexpr wchar_t kPreviewClass[] = L"FernpadPreviewForm";
constexpr int kDot = 16;
constexpr int kPreviewSide = 105;
// A photo file larger than this is not read for showing.
constexpr std::size_t kMaxPictureBytes = std::size_t{256} << 20;

HBRUSH BlackBrush() {
  return static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
}

// The window's client area filled by its picture.
void PaintPicture(HWND window, FittedPicture& picture) {
  PAINTSTRUCT paint;
  const HDC dc = ::BeginPaint(window, &paint);
  RECT client{};
  ::GetClientRect(window, &client);
  picture.Paint(dc, client);
  ::EndPaint(window, &paint);
}

HWND MakeWindow(DWORD exStyle, const wchar_t* windowClass, const wchar_t* caption, DWORD style, void* owner) {
  const HWND window = ::CreateWindowExW(exStyle, windowClass, caption, style, 0, 0, 0, 0, nullptr, nullptr,
                                        ::GetModuleHandleW(nullptr), owner);
  if (window == nullptr) throw std::runtime_error("a window cannot be made");
  return window;
}

// Folder paths are bytes in the PC's code page (as the main window's folder box shows them).
std::wstring FromAnsi(const std::string& text) {
  if (text.empty()) return {};
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(n, 0)), L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                      nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(std::max(n, 0)), '\0');
  if (n > 0)
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), narrow.data(), n, nullptr,
                          nullptr);
  return narrow;
}

}  // namespace

std::unique_ptr<Bitmap24> ReadPicture(const std::string& path) {
  try {
    const std::filesystem::path file(path);
    std::wstring extension = file.extension().wstring();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    if (extension != L".jpg" && extension != L".jpeg") return nullptr;
    const std::vector<std::uint8_t> bytes = settings::file_io::ReadWholeFile(file, kMaxPictureBytes);
    return std::make_unique<Bitmap24>(
        DecodeJpeg({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, kMaxShownPixels));
  } catch (const std::exception&) {
    return nullptr;  // the window keeps what it showed
  }
}

FittedPicture::~FittedPicture() {
  if (scaled_ != nullptr) ::DeleteObject(scaled_);
}

void FittedPicture::SetPicture(std::unique_ptr<Bitmap24> picture) {
  picture_ = std::move(picture);
  if (scaled_ != nullptr) ::DeleteObject(scaled_);
  scaled_ = nullptr;
}

void FittedPicture::Paint(HDC dc, const RECT& box) {
  const Rect at = picture_ ? FittedIn({box.right - box.left, box.bottom - box.top},
                                      {picture_->Width(), picture_->Height()})
                           : Rect{};
  if (at.width > 0) {
    const HDC memory = ::CreateCompatibleDC(dc);
    if (scaled_ == nullptr || scaledSize_ != Size{at.width, at.height}) {
      if (scaled_ != nullptr) ::DeleteObject(scaled_);
      scaled_ = ::CreateCompatibleBitmap(dc, at.width, at.height);
      scaledSize_ = {at.width, at.height};
      const HGDIOBJ old = ::SelectObject(memory, scaled_);
      BITMAPINFO info{};
      info.bmiHeader.biSize = sizeof(info.bmiHeader);
      info.bmiHeader.biWidth = picture_->Width();
      info.bmiHeader.biHeight = -picture_->Height();  // rows from the top
      info.bmiHeader.biPlanes = 1;
      info.bmiHeader.biBitCount = 24;
      info.bmiHeader.biCompression = BI_RGB;
      ::SetStretchBltMode(memory, HALFTONE);
      ::SetBrushOrgEx(memory, 0, 0, nullptr);
      ::StretchDIBits(memory, 0, 0, at.width, at.height, 0, 0, picture_->Width(), picture_->Height(),
                      picture_->Row(0), &info, DIB_RGB_COLORS, SRCCOPY);
      ::SelectObject(memory, old);
    }
    const HGDIOBJ old = ::SelectObject(memory, scaled_);
    ::BitBlt(dc, box.left + at.left, box.top + at.top, at.width, at.height, memory, 0, 0, SRCCOPY);
    ::SelectObject(memory, old);
    ::DeleteDC(memory);
    ::ExcludeClipRect(dc, box.left + at.left, box.top + at.top, box.left + at.left + at.width,
                      box.top + at.top + at.height);
  }
  ::FillRect(dc, &box, BlackBrush());  // the bars beside the picture
}

// --- TPointerForm ---

TPointerForm::TPointerForm(const settings::LiveSettings& settings) : settings_(settings) {
  RegisterClassOnce(kPointerClass, Procedure, nullptr);
  // Layered and transparent: clicks go through to the window below; never activated, not in the task bar.
  window_ =
      MakeWindow(WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_TRANSPARENT,
                 kPointerClass, L"PointerForm", WS_POPUP, this);
  ::SetLayeredWindowAttributes(window_, 0, 255, LWA_ALPHA);
  ::SetWindowPos(window_, nullptr, 0, 0, kDot, kDot, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::SetWindowRgn(window_, ::CreateEllipticRgn(0, 0, kDot, kDot), FALSE);  // the window owns the region
}

TPointerForm::~TPointerForm() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

void TPointerForm::ShowAt(Point topLeft) {
  if (!::IsWindowVisible(window_))
    SetFill(settings_.Read([](const settings::Options& o) { return o.PointerColor; }));  // as it is shown
  ::SetWindowPos(window_, HWND_TOPMOST, topLeft.x, topLeft.y, kDot, kDot, SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void TPointerForm::Hide() {
  ::ShowWindow(window_, SW_HIDE);
}

void TPointerForm::SetFill(COLORREF color) {
  fill_ = color & 0xFFFFFF;
  ::InvalidateRect(window_, nullptr, TRUE);
}

void TPointerForm::Paint() {
  PAINTSTRUCT paint;
  const HDC dc = ::BeginPaint(window_, &paint);
  const RECT all{0, 0, kDot, kDot};
  const HBRUSH red = ::CreateSolidBrush(RGB(255, 0, 0));
  ::FillRect(dc, &all, red);
  ::DeleteObject(red);
  const HBRUSH fill = ::CreateSolidBrush(fill_);
  const HGDIOBJ oldBrush = ::SelectObject(dc, fill);
  const HGDIOBJ oldPen = ::SelectObject(dc, ::GetStockObject(WHITE_PEN));
  ::Ellipse(dc, 0, 0, kDot, kDot);
  ::SelectObject(dc, oldPen);
  ::SelectObject(dc, oldBrush);
  ::DeleteObject(fill);
  ::EndPaint(window_, &paint);
}

LRESULT CALLBACK TPointerForm::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* self = Owner<TPointerForm>(window, message, l);
  if (self == nullptr || self->window_ == nullptr) return ::DefWindowProcW(window, message, w, l);
  switch (message) {
    case kShowAt:
      self->ShowAt({static_cast<int>(static_cast<INT_PTR>(w)), static_cast<int>(l)});
      return 0;
    case kHide:
      self->Hide();
      return 0;
    case WM_PAINT:
      self->Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // painted whole
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_CLOSE:
      self->Hide();
      return 0;
    case WM_DESTROY:
      self->window_ = nullptr;
      return 0;
    default:
      return ::DefWindowProcW(window, message, w, l);
  }
}

// --- TImageForm ---

TImageForm::TImageForm(HWND mainWindow) : mainWindow_(mainWindow) {
  RegisterClassOnce(kImageClass, Procedure, BlackBrush());
  window_ = MakeWindow(WS_EX_TOPMOST, kImageClass, L"ImageForm", WS_POPUP, this);  // no area yet
}

TImageForm::~TImageForm() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

void TImageForm::ShowOn(const Rect& monitor, std::unique_ptr<Bitmap24> picture) {
  if (picture) Image1.SetPicture(std::move(picture));
  ::SetWindowPos(window_, HWND_TOPMOST, monitor.left, monitor.top, monitor.width, monitor.height,
                 SWP_SHOWWINDOW);
  ::SetForegroundWindow(window_);  // for Escape
  ::InvalidateRect(window_, nullptr, TRUE);
}

void TImageForm::CloseImage() {
  ::ShowWindow(window_, SW_HIDE);
  ::SetWindowPos(window_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK TImageForm::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* self = Owner<TImageForm>(window, message, l);
  if (self == nullptr || self->window_ == nullptr) {
    if (message == kShowImage) std::unique_ptr<Bitmap24> dropped(reinterpret_cast<Bitmap24*>(l));
    return ::DefWindowProcW(window, message, w, l);
  }
  switch (message) {
    case kShowImage:
      self->ShowOn(MonitorOfWindow(self->mainWindow_),
                   std::unique_ptr<Bitmap24>(reinterpret_cast<Bitmap24*>(l)));
      return 0;
    case kCloseImage:
    case WM_CLOSE:
      self->CloseImage();
      return 0;
    case WM_KEYDOWN:
      if (w == VK_ESCAPE) self->CloseImage();
      return 0;
    case WM_PAINT:
      PaintPicture(window, self->Image1);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_DESTROY:
      self->window_ = nullptr;
      return 0;
    default:
      return ::DefWindowProcW(window, message, w, l);
  }
}

// --- TForm4 ---

TForm4::TForm4(HWND mainWindow, UINT timer1Interval)
    : mainWindow_(mainWindow), timer1Interval_(timer1Interval) {
  RegisterClassOnce(kPreviewClass, Procedure, BlackBrush());
  constexpr DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  constexpr DWORD exStyle = WS_EX_TOPMOST | WS_EX_TOOLWINDOW;
  window_ = MakeWindow(exStyle, kPreviewClass, L"Preview", style, this);
  RECT frame{0, 0, kPreviewSide, kPreviewSide};
  ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TForm4::~TForm4() {
  if (window_ != nullptr) ::DestroyWindow(window_);
}

void TForm4::ShowPreview(const Rect& monitor, std::unique_ptr<Bitmap24> picture) {
  RECT frame{};
  ::GetWindowRect(window_, &frame);
  const Point at = PreviewCorner(monitor, {frame.right - frame.left, frame.bottom - frame.top});
  // A photo arriving never takes the keyboard away.
  ::SetWindowPos(window_, HWND_TOPMOST, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  if (!picture) return;
  Image1.SetPicture(std::move(picture));
  ::InvalidateRect(window_, nullptr, TRUE);
  ::KillTimer(window_, kTimer1);
  ::SetTimer(window_, kTimer1, timer1Interval_, nullptr);
}

LRESULT CALLBACK TForm4::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* self = Owner<TForm4>(window, message, l);
  if (self == nullptr || self->window_ == nullptr) {
    if (message == kShowPreview) std::unique_ptr<Bitmap24> dropped(reinterpret_cast<Bitmap24*>(l));
    return ::DefWindowProcW(window, message, w, l);
  }
  switch (message) {
    case kShowPreview:
      self->ShowPreview(MonitorOfWindow(self->mainWindow_),
                        std::unique_ptr<Bitmap24>(reinterpret_cast<Bitmap24*>(l)));
      return 0;
    case WM_TIMER:
      if (w == kTimer1) ::ShowWindow(window, SW_HIDE);  // and runs on
      return 0;
    case WM_CLOSE:
      ::ShowWindow(window, SW_HIDE);  // made once, kept for the next photo
      return 0;
    case WM_PAINT:
      PaintPicture(window, self->Image1);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_DESTROY:
      self->window_ = nullptr;
      return 0;
    default:
      return ::DefWindowProcW(window, message, w, l);
  }
}

// --- TForm5 ---

namespace {

constexpr int kBand = 300;  // the white band and its title
constexpr int kTitle = 301;

struct DialogControl {
  int id;
  const wchar_t* windowClass;
  const char* caption;
  DWORD style;
  int x, y, width, height;  // at 96 DPI
};

// The folder as the list shows it: a drive root keeps its backslash, any other folder has none.
std::wstring CleanFolder(const std::wstring& folder) {
  wchar_t full[MAX_PATH * 4] = {};
  const std::wstring from = folder.empty() ? L"." : folder;  // nothing given: the working folder
  const DWORD n = ::GetFullPathNameW(from.c_str(), static_cast<DWORD>(std::size(full)), full, nullptr);
  std::wstring clean = n > 0 && n < std::size(full) ? std::wstring(full, n) : from;
  while (clean.size() > 3 && (clean.back() == L'\\' || clean.back() == L'/')) clean.pop_back();
  return clean;
}

}  // namespace

int TForm5::Ask(const std::string& deviceName, const std::string& firstFolder) {
  deviceName_ = Widen(deviceName);
  if (chosen_.empty()) chosen_ = CleanFolder(FromAnsi(firstFolder));
  // An empty dialog (its controls are made once it exists), on top of every window, with a close box.
  std::vector<WORD> layout(64, 0);
  auto* dialog = reinterpret_cast<DLGTEMPLATE*>(layout.data());
  dialog->style = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  dialog->dwExtendedStyle = WS_EX_TOPMOST | WS_EX_DLGMODALFRAME;
  const std::wstring caption = L"New device detected";
  WORD* after = reinterpret_cast<WORD*>(dialog + 1) + 2;  // no menu, the standard class
  std::copy(caption.begin(), caption.end(), after);
  const INT_PTR button = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), dialog, nullptr, Procedure,
                                                   reinterpret_cast<LPARAM>(this));
  return button > 0 ? static_cast<int>(button) : 0;
}

std::string TForm5::ChosenFolder() const {
  return ToAnsi(chosen_);
}

void TForm5::Create(HWND dialog) {
  dialog_ = dialog;
  const UINT dpi = DpiOf(dialog);
  const auto scale = [dpi](int pixels) { return ::MulDiv(pixels, static_cast<int>(dpi), 96); };
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  LOGFONTW face{};
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
    face = metrics.lfMessageFont;
  else
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(face), &face);
  face.lfHeight = -scale(12);
  font_ = ::CreateFontIndirectW(&face);
  face.lfHeight = -scale(20);
  titleFont_ = ::CreateFontIndirectW(&face);

  constexpr DWORD text = SS_LEFT | SS_NOPREFIX;
  const DialogControl controls[] = {
      {kBand, L"STATIC", "", SS_LEFT, 0, 0, 16, 66},
      {kTitle, L"STATIC", "New device detected", text | SS_CENTERIMAGE, 16, 0, 390, 66},
      {-1, L"STATIC", "A new device wants to upload images to your computer.", text, 26, 78, 354, 16},
      {-1, L"STATIC", "Device name:", text, 26, 100, 100, 16},
      {kLabel4, L"STATIC", "", text, 130, 100, 250, 16},
      {-1, L"STATIC", "Please, select a directory where the images should be saved:", text, 26, 122, 354, 30},
      {kLabel6, L"STATIC", "", text | SS_PATHELLIPSIS, 26, 154, 354, 16},
      {kDriveComboBox1, L"COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 26, 174, 354, 200},
      {kDirectoryListBox1, L"LISTBOX", "",
       LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 26, 204, 354, 137},
      {IDOK, L"BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 166, 356, 75, 26},
  };
  for (const DialogControl& c : controls) {
    const HWND control = ::CreateWindowExW(
        0, c.windowClass, Widen(c.caption).c_str(), WS_CHILD | WS_VISIBLE | c.style, scale(c.x), scale(c.y),
        scale(c.width), scale(c.height), dialog, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
        ::GetModuleHandleW(nullptr), nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(c.id == kTitle ? titleFont_ : font_), FALSE);
  }
  ::SetDlgItemTextW(dialog, kLabel4, deviceName_.c_str());

  // Client area 406 x 398, in the screen's top-left corner.
  RECT frame{0, 0, scale(406), scale(398)};
  ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
  ::SetWindowPos(dialog, HWND_TOPMOST, 0, 0, frame.right - frame.left, frame.bottom - frame.top, 0);

  const HWND drives = ::GetDlgItem(dialog, kDriveComboBox1);
  wchar_t roots[512] = {};
  const DWORD length = ::GetLogicalDriveStringsW(static_cast<DWORD>(std::size(roots)), roots);
  if (length > 0 && length < std::size(roots))
    for (const wchar_t* root = roots; *root != L'\0'; root += wcslen(root) + 1)
      ::SendMessageW(drives, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(root));
  SelectFolder(chosen_);
  ::SetForegroundWindow(dialog);
}

void TForm5::SelectFolder(const std::wstring& folder) {
  chosen_ = listed_ = CleanFolder(folder);
  ::SetDlgItemTextW(dialog_, kLabel6, chosen_.c_str());
  const HWND drives = ::GetDlgItem(dialog_, kDriveComboBox1);
  const LRESULT drive =
      ::SendMessageW(drives, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                     reinterpret_cast<LPARAM>(chosen_.substr(0, 3).c_str()));  // any letter case
  ::SendMessageW(drives, CB_SETCURSEL, static_cast<WPARAM>(drive), 0);
  ListFolder();
}

void TForm5::ListFolder() {
  // As a directory list shows a folder: the folders above it from the drive down, then its own folders,
  // each indented one step deeper.
  const HWND list = ::GetDlgItem(dialog_, kDirectoryListBox1);
  ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
  rows_.clear();
  std::vector<std::wstring> names;
  std::size_t start = listed_.size() >= 3 && listed_[1] == L':' ? 3 : 0;
  rows_.push_back(listed_.substr(0, start));
  names.push_back(rows_.back());
  while (start < listed_.size()) {
    std::size_t end = listed_.find(L'\\', start);
    if (end == std::wstring::npos) end = listed_.size();
    names.push_back(listed_.substr(start, end - start));
    rows_.push_back(listed_.substr(0, end));
    start = end + 1;
  }
  if (rows_.front().empty()) {  // no drive part: the whole path is one row
    rows_ = {listed_};
    names = {listed_};
  }
  const std::size_t open = rows_.size() - 1;
  std::vector<std::wstring> inside;
  WIN32_FIND_DATAW found{};
  const std::wstring base = listed_.back() == L'\\' ? listed_ : listed_ + L'\\';
  const HANDLE search = ::FindFirstFileExW((base + L'*').c_str(), FindExInfoBasic, &found,
                                           FindExSearchLimitToDirectories, nullptr, 0);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && name != L"." && name != L"..")
        inside.push_back(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  std::sort(inside.begin(), inside.end(), [](const std::wstring& a, const std::wstring& b) {
    return ::lstrcmpiW(a.c_str(), b.c_str()) < 0;
  });
  for (const std::wstring& name : inside) {
    names.push_back(name);
    rows_.push_back(base + name);
  }
  for (std::size_t row = 0; row < rows_.size(); ++row) {
    const std::size_t depth = std::min(row, open + 1);
    const std::wstring shown = std::wstring(depth * 2, L' ') + names[row];
    ::SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
  }
  ::SendMessageW(list, LB_SETCURSEL, open, 0);
}

INT_PTR CALLBACK TForm5::Procedure(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(dialog, DWLP_USER, l);
    reinterpret_cast<TForm5*>(l)->Create(dialog);
    return TRUE;
  }
  auto* self = reinterpret_cast<TForm5*>(::GetWindowLongPtrW(dialog, DWLP_USER));
  if (self == nullptr) return FALSE;
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(w);
      const int code = HIWORD(w);
      if (id == IDOK || id == IDCANCEL) {
        ::EndDialog(dialog, id);  // "OK" and the close box do the same
      } else if (id == kDriveComboBox1 && code == CBN_SELCHANGE) {
        const HWND drives = reinterpret_cast<HWND>(l);
        const LRESULT at = ::SendMessageW(drives, CB_GETCURSEL, 0, 0);
        wchar_t root[16] = {};
        if (at >= 0 && ::SendMessageW(drives, CB_GETLBTEXTLEN, at, 0) < 16) {
          ::SendMessageW(drives, CB_GETLBTEXT, at, reinterpret_cast<LPARAM>(root));
          self->SelectFolder(root);
        }
      } else if (id == kDirectoryListBox1 && (code == LBN_SELCHANGE || code == LBN_DBLCLK)) {
        const LRESULT row = ::SendMessageW(reinterpret_cast<HWND>(l), LB_GETCURSEL, 0, 0);
        if (row < 0 || static_cast<std::size_t>(row) >= self->rows_.size()) return TRUE;
        if (code == LBN_DBLCLK) {
          self->SelectFolder(self->rows_[static_cast<std::size_t>(row)]);  // opened: its folders show
        } else {
          self->chosen_ = self->rows_[static_cast<std::size_t>(row)];
          ::SetDlgItemTextW(dialog, kLabel6, self->chosen_.c_str());
        }
      }
      return TRUE;
    }
    case WM_CTLCOLORSTATIC: {
      const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(l));
      if (id != kBand && id != kTitle) return FALSE;
      ::SetBkColor(reinterpret_cast<HDC>(w), RGB(255, 255, 255));
      ::SetTextColor(reinterpret_cast<HDC>(w), RGB(0, 0, 0));
      return reinterpret_cast<INT_PTR>(::GetStockObject(WHITE_BRUSH));
    }
    case WM_DESTROY:
      if (self->font_ != nullptr) ::DeleteObject(self->font_);
      if (self->titleFont_ != nullptr) ::DeleteObject(self->titleFont_);
      self->font_ = self->titleFont_ = nullptr;
      self->dialog_ = nullptr;
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace fernpad::app
