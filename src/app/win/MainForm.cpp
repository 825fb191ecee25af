#include "app/win/MainForm.h"

#include <commctrl.h>
#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "app/FormSettings.h"
#include "app/Placement.h"
#include "app/Texts.h"
#include "app/win/WinUi.h"
#include "app/win/WindowSupport.h"
#include "settings/OptionsStore.h"
#include "upload/Devices.h"

namespace fernpad::app {
namespace {

constexpr wchar_t kMainClass[] = L"FernpadMainWindow";
constexpr int kClientWidth = 643, kClientHeight = 371;
constexpr int kAlways = -1;  // not on a page
constexpr int kNever = -2;   // made, never shown

const char* const kPageNames[TForm1::kPageCount] = {"General settings", "Access control", "Debug",
                                                    "Image Upload (Snapferry WiFi)"};

// The shell's folder picker, starting at `start`; the chosen folder or empty.
std::string BrowseForFolder(HWND owner, const std::string& start) {
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  BROWSEINFOA info{};
  info.hwndOwner = owner;
  info.lpszTitle = "Select a directory";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  info.lpfn = [](HWND dialog, UINT message, LPARAM, LPARAM data) -> int {
    if (message == BFFM_INITIALIZED) ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
  };
  info.lParam = reinterpret_cast<LPARAM>(start.c_str());
  std::string chosen;
  if (PIDLIST_ABSOLUTE list = ::SHBrowseForFolderA(&info)) {
    char path[MAX_PATH] = {};
    if (::SHGetPathFromIDListA(list, path)) chosen = path;
    ::CoTaskMemFree(list);
  }
  if (SUCCEEDED(com)) ::CoUninitialize();
  return chosen;
}

// The system's colour dialog, fully open.
std::optional<COLORREF> ChooseColour(HWND owner, COLORREF current) {
  static COLORREF custom[16] = {};
  CHOOSECOLORW choose{};
  choose.lStructSize = sizeof(choose);
  choose.hwndOwner = owner;
  choose.rgbResult = current;
  choose.lpCustColors = custom;
  choose.Flags = CC_FULLOPEN | CC_RGBINIT;
  if (!::ChooseColorW(&choose)) return std::nullopt;
  return choose.rgbResult;
}

}  // namespace

// One control: where it sits at 96 DPI and on which page.
struct TForm1::ControlPlan {
  int id;
  const wchar_t* windowClass;
  const char* caption;
  DWORD style;
  int x, y, width, height;
  int page;
};

TForm1::TForm1(settings::LiveSettings& settings, std::function<std::string()> addresses)
    : settings_(settings), addresses_(std::move(addresses)) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TAB_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = Procedure;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kMainClass;
  ::RegisterClassExW(&windowClass);  // fails harmlessly when registered already

  PickFolder = [this](const std::string& start) { return BrowseForFolder(window_, start); };
  PickColor = [this](COLORREF current) { return ChooseColour(window_, current); };

  // Made hidden beyond the right edge of the rightmost monitor; sized once its DPI is known.
  window_ =
      ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_CONTROLPARENT, kMainClass, Widen(kMainWindowTitle).c_str(),
                        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, OffScreenLeft(Monitors()),
                        0, kClientWidth, kClientHeight, nullptr, nullptr, ::GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) throw std::runtime_error("the main window cannot be made");
  dpi_ = DpiOf(window_);
  MakeFonts();
  CreateControls();
  Layout();
  ShowPage(0);
  RefreshAddressLine();
}

TForm1::~TForm1() {
  OnClose = nullptr;
  if (window_ != nullptr) ::DestroyWindow(window_);
  if (font_ != nullptr) ::DeleteObject(font_);
  if (headingFont_ != nullptr) ::DeleteObject(headingFont_);
  if (pageBrush_ != nullptr) ::DeleteObject(pageBrush_);
}

bool TForm1::IsMainWindow(HWND window) {
  wchar_t name[32] = {};
  return window != nullptr && ::GetClassNameW(window, name, 32) > 0 && std::wstring_view(name) == kMainClass;
}

void TForm1::MakeFonts() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  LOGFONTW face{};
  if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
    face = metrics.lfMessageFont;
  } else {
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof(face), &face);
  }
  // The system gives the height at the system's DPI; the window may be on a monitor with another.
  const HDC screen = ::GetDC(nullptr);
  const int systemDpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  face.lfHeight = ::MulDiv(face.lfHeight, static_cast<int>(dpi_), systemDpi > 0 ? systemDpi : 96);
  if (font_ != nullptr) ::DeleteObject(font_);
  if (headingFont_ != nullptr) ::DeleteObject(headingFont_);
  font_ = ::CreateFontIndirectW(&face);
  face.lfHeight = face.lfHeight * 3 / 2;
  face.lfWeight = FW_BOLD;
  headingFont_ = ::CreateFontIndirectW(&face);
}

void TForm1::CreateControls() {
  constexpr DWORD text = SS_LEFT | SS_NOPREFIX;
  constexpr DWORD check = BS_AUTOCHECKBOX | WS_TABSTOP;
  constexpr DWORD button = BS_PUSHBUTTON | WS_TABSTOP;
  constexpr DWORD group = BS_GROUPBOX;
  constexpr DWORD list =
      LBS_NOTIFY | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP;
  const ControlPlan plans[] = {
      {kOther, L"STATIC", "Fernpad Server is running.", text, 8, 4, 420, 24, kAlways},
      {kOther, L"STATIC", "Minimize this window to keep the server running.", text, 8, 30, 420, 16, kAlways},
      {kOther, L"STATIC", "Close this window to stop the server.", text, 8, 46, 420, 16, kAlways},
      {kLabel7, L"STATIC", "The server IP(s) is / are: ", text, 8, 62, 627, 16, kAlways},
      // The port field and its button exist for a build that lets the user move the endpoint; hidden here.
      {kOther, L"STATIC", "Server port:", text, 440, 8, 70, 16, kNever},
      {kSpinEdit1, L"EDIT", "12769", ES_NUMBER | WS_BORDER, 510, 6, 60, 20, kNever},
      {kButton1, L"BUTTON", "Apply", button, 576, 5, 60, 22, kNever},
      {kPageControl1, WC_TABCONTROLW, "", WS_CLIPSIBLINGS | WS_TABSTOP, 8, 82, 627, 252, kAlways},
      // General settings
      {kOther, L"BUTTON", "Fernpad settings", group, 18, 110, 296, 70, 0},
      {kOther, L"STATIC", "Mouse acceleration:", text, 30, 128, 200, 16, 0},
      {kScrollBar1, L"SCROLLBAR", "", SBS_HORZ | WS_TABSTOP, 30, 150, 272, 18, 0},
      {kOther, L"BUTTON", "Lumidot settings", group, 324, 110, 300, 70, 0},
      {kShape1, L"STATIC", "", SS_OWNERDRAW | SS_NOTIFY, 336, 129, 15, 15, 0},
      {kOther, L"STATIC", "Pointer color", text, 358, 128, 200, 16, 0},
      {kCheckBox1, L"BUTTON", "Smooth image (needs more CPU time)", check, 336, 150, 280, 20, 0},
      // The addresses are a whole line wide; the reason a port could not be taken may need two lines.
      {kOther, L"BUTTON", "Control from a web browser", group, 18, 186, 606, 94, 0},
      {kWebRemote, L"BUTTON", "Browser remote", check, 30, 206, 130, 20, 0},
      {kKeepAddress, L"BUTTON", "Keep this address", check, 166, 206, 146, 20, 0},
      {kWebError, L"STATIC", "", text, 318, 202, 296, 30, 0},
      {kWebAddresses, L"EDIT", "",
       ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP, 30, 234, 584,
       38, 0},
      {kOther, L"BUTTON", "More apps for your handheld", group, 18, 284, 296, 42, 0},
      {kFernpadLink, L"STATIC", "Fernpad remote", text | SS_NOTIFY, 30, 302, 110, 16, 0},
      {kSnapferryLink, L"STATIC", "Snapferry WiFi photos", text | SS_NOTIFY, 150, 302, 156, 16, 0},
      {kCheckBox3, L"BUTTON", "Start Fernpad Server with Windows", check, 336, 300, 280, 20, 0},
      // Access control
      {kOther, L"STATIC", "Hosts allowed:", text, 18, 112, 296, 16, 1},
      {kListBox1, L"LISTBOX", "", list, 18, 130, 296, 130, 1},
      {kButton2, L"BUTTON", "Delete selected", button, 18, 266, 120, 24, 1},
      {kButton3, L"BUTTON", "Delete all", button, 144, 266, 100, 24, 1},
      {kOther, L"STATIC", "Hosts denied:", text, 328, 112, 296, 16, 1},
      {kListBox2, L"LISTBOX", "", list, 328, 130, 296, 130, 1},
      {kButton4, L"BUTTON", "Delete selected", button, 328, 266, 120, 24, 1},
      {kButton5, L"BUTTON", "Delete all", button, 454, 266, 100, 24, 1},
      {kCheckBox5, L"BUTTON", "Disable Access control", check, 18, 298, 300, 20, 1},
      // Debug
      {kOther, L"STATIC", "Virtual key:", text, 18, 114, 160, 16, 2},
      {kLabel10, L"STATIC", "0", text, 180, 114, 300, 16, 2},
      {kOther, L"STATIC", "Country code:", text, 18, 134, 160, 16, 2},
      {kLabel19, L"STATIC", "", text, 180, 134, 300, 16, 2},
      {kOther, L"STATIC", "Keyboard layout name:", text, 18, 154, 160, 16, 2},
      {kLabel21, L"STATIC", "", text, 180, 154, 300, 16, 2},
      {kCheckBox4, L"BUTTON", "Enable this box if the cursor jumps to the upper left corner of the screen",
       check, 18, 178, 600, 20, kNever},
      // Image Upload (Snapferry WiFi)
      {kOther, L"STATIC", "Save received images to:", text, 18, 116, 150, 16, 3},
      {kEdit1, L"EDIT", "", ES_READONLY | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 170, 112, 400, 22, 3},
      {kButton7, L"BUTTON", "...", button, 576, 111, 40, 24, 3},
      {kOther, L"STATIC", "Device:", text, 18, 148, 150, 16, 3},
      {kComboBox1, L"COMBOBOX", "", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 170, 144, 250, 200, 3},
      {kButton8, L"BUTTON", "Delete this device", button, 426, 143, 150, 24, 3},
      {kOther, L"STATIC",
       "To add a device, just connect Snapferry WiFi with this server and start the image upload.", text, 18,
       180, 600, 32, 3},
      // Below the pages
      {kButton6, L"BUTTON", "Check for online updates now", button, 8, 342, 200, 24, kAlways},
      {kCheckBox2, L"BUTTON", "Check on startup", check, 220, 345, 200, 20, kAlways},
  };
  for (const ControlPlan& plan : plans) {
    const DWORD style = WS_CHILD | plan.style | (plan.page == kAlways ? WS_VISIBLE : 0);
    const HWND control = ::CreateWindowExW(
        plan.id == kEdit1 || plan.id == kWebAddresses || plan.id == kListBox1 || plan.id == kListBox2
            ? WS_EX_CLIENTEDGE
            : 0,
        plan.windowClass, Widen(plan.caption).c_str(), style, 0, 0, 0, 0, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(plan.id)), ::GetModuleHandleW(nullptr), nullptr);
    if (control == nullptr) continue;
    placed_.push_back({control, {plan.x, plan.y, plan.width, plan.height}});
    if (heading_ == nullptr) heading_ = control;  // the first line
    if (plan.page >= 0) pageOf_.emplace_back(control, plan.page);
  }
  const HWND tabs = Control(kPageControl1);
  for (int page = 0; page < kPageCount; ++page) {
    std::wstring name = Widen(kPageNames[page]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = name.data();
    ::SendMessageW(tabs, TCM_INSERTITEMW, page, reinterpret_cast<LPARAM>(&item));
  }
  ::SetWindowPos(tabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);  // under the pages
  SCROLLINFO range{sizeof(range), SIF_RANGE | SIF_PAGE | SIF_POS, 1, 100, 0, 1, 0};
  ::SetScrollInfo(Control(kScrollBar1), SB_CTL, &range, FALSE);
  ::EnableWindow(Control(kKeepAddress), FALSE);  // while the browser remote is off
}

void TForm1::Layout() {
  RECT frame{0, 0, Scale(kClientWidth), Scale(kClientHeight)};
  const DWORD style = static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_STYLE));
  ::AdjustWindowRectEx(&frame, style, FALSE, static_cast<DWORD>(::GetWindowLongPtrW(window_, GWL_EXSTYLE)));
  ::SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (const Placed& p : placed_) {
    ::SetWindowPos(p.control, nullptr, Scale(p.at.left), Scale(p.at.top), Scale(p.at.right),
                   Scale(p.at.bottom), SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(p.control, WM_SETFONT,
                   reinterpret_cast<WPARAM>(p.control == heading_ ? headingFont_ : font_), TRUE);
  }
}

COLORREF TForm1::PageColour() const {
  // The tab control draws its body in the colour of the visual style (or the button face without one):
  // read where it draws no tab and no border.
  const HWND tabs = Control(kPageControl1);
  RECT box;
  ::GetClientRect(tabs, &box);
  const HDC screen = ::GetDC(tabs);
  const HDC memory = ::CreateCompatibleDC(screen);
  const HBITMAP picture = ::CreateCompatibleBitmap(screen, box.right, box.bottom);
  const HGDIOBJ old = ::SelectObject(memory, picture);
  ::SendMessageW(tabs, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
  const COLORREF colour = ::GetPixel(memory, box.right / 2, box.bottom - Scale(8));
  ::SelectObject(memory, old);
  ::DeleteObject(picture);
  ::DeleteDC(memory);
  ::ReleaseDC(tabs, screen);
  return colour != CLR_INVALID ? colour : ::GetSysColor(COLOR_BTNFACE);
}

void TForm1::ShowPage(int page) {
  ::SendMessageW(Control(kPageControl1), TCM_SETCURSEL, page, 0);
  for (const auto& [control, on] : pageOf_) ::ShowWindow(control, on == page ? SW_SHOW : SW_HIDE);
}

void TForm1::TrayIcon1Click() {
  const std::vector<Rect> monitors = Monitors();
  RECT r{};
  ::GetWindowRect(window_, &r);
  if (!monitors.empty()) {
    const Point at = CenteredOn(monitors.front(), {r.right - r.left, r.bottom - r.top});
    ::SetWindowPos(window_, stayOnTop_ ? HWND_TOPMOST : HWND_NOTOPMOST, at.x, at.y, 0, 0, SWP_NOSIZE);
  }
  ::ShowWindow(window_, SW_SHOWNORMAL);
  ::SetForegroundWindow(window_);
}

void TForm1::SetStayOnTop(bool onTop) {
  stayOnTop_ = onTop;
  ::SetWindowPos(window_, onTop ? HWND_TOPMOST : HWND_NOTOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void TForm1::RefreshAddressLine() {
  ::SetWindowTextW(Control(kLabel7), Widen(AddressLine(addresses_())).c_str());
}

void TForm1::AttachWebRemote(WebRemoteGroup* group) {
  webRemote_ = group;
  if (group) ShowWebRemote(group->Current());
}

void TForm1::ShowWebRemote(const WebRemoteGroup::State& state) {
  SetChecked(kWebRemote, state.on);
  SetChecked(kKeepAddress, state.keep);
  ::EnableWindow(Control(kKeepAddress), state.on);
  std::string lines;
  for (const std::string& address : state.addresses) lines += (lines.empty() ? "" : "\r\n") + address;
  ::SetWindowTextW(Control(kWebAddresses), Widen(lines).c_str());
  ::SetWindowTextW(Control(kWebError), Widen(state.error).c_str());
}

void TForm1::WebRemoteClick() {
  if (webRemote_) ShowWebRemote(webRemote_->Change(Checked(kWebRemote), Checked(kKeepAddress)));
}

void TForm1::KeepAddressClick() {
  if (webRemote_) ShowWebRemote(webRemote_->Change(Checked(kWebRemote), Checked(kKeepAddress)));
}

bool TForm1::Checked(Id id) const {
  return ::SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void TForm1::SetChecked(Id id, bool checked) {
  ::SendMessageW(Control(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void TForm1::LoadControls(const settings::Options& o, const std::string& fallbackFolder) {
  loading_ = true;
  const ControlStates states = ControlStatesOf(o);
  ::SetScrollPos(Control(kScrollBar1), SB_CTL, states.mouseAcceleration, TRUE);
  SetChecked(kCheckBox1, states.smoothImage);
  SetChecked(kCheckBox2, states.checkUpdatesOnStartup);
  SetChecked(kCheckBox3, states.startWithWindows);
  SetChecked(kCheckBox4, states.cursorJumpFix);
  SetChecked(kCheckBox5, states.disableAccessControl);
  pointerColor_ = o.PointerColor;
  ::InvalidateRect(Control(kShape1), nullptr, TRUE);
  FillDevicePage(o.Devices, 0, settings::FolderBoxText(o.DefaultFolder, fallbackFolder));
  FillHostList(kListBox1, o.AllowedHosts);
  FillHostList(kListBox2, o.DeniedHosts);
  loading_ = false;
}

void TForm1::SettingsChanged() {
  if (loading_) return;
  StoreControlStates(settings_,
                     {::GetScrollPos(Control(kScrollBar1), SB_CTL), Checked(kCheckBox1), Checked(kCheckBox2),
                      Checked(kCheckBox3), Checked(kCheckBox4), Checked(kCheckBox5)});
}

void TForm1::ScrollBar1Scroll(int request) {
  const HWND bar = Control(kScrollBar1);
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_ALL;
  ::GetScrollInfo(bar, SB_CTL, &info);
  int at = info.nPos;
  switch (request) {
    case SB_LINELEFT:
      --at;
      break;
    case SB_LINERIGHT:
      ++at;
      break;
    case SB_PAGELEFT:
      at -= 10;
      break;
    case SB_PAGERIGHT:
      at += 10;
      break;
    case SB_LEFT:
      at = info.nMin;
      break;
    case SB_RIGHT:
      at = info.nMax;
      break;
    case SB_THUMBTRACK:
    case SB_THUMBPOSITION:
      at = info.nTrackPos;
      break;
    default:
      return;  // SB_ENDSCROLL
  }
  at = std::clamp(at, info.nMin, info.nMax);
  if (at == info.nPos) return;
  ::SetScrollPos(bar, SB_CTL, at, TRUE);
  SettingsChanged();
}

void TForm1::FillHostList(Id id, const std::vector<std::string>& hosts) {
  // Addresses are the handheld's Windows-1252 bytes: the ANSI call shows them as they are.
  const HWND list = Control(id);
  ::SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const std::string& host : hosts)
    ::SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(host.c_str()));
}

void TForm1::RefreshHostLists() {
  const settings::Options o = settings_.Get();
  FillHostList(kListBox1, o.AllowedHosts);
  FillHostList(kListBox2, o.DeniedHosts);
}

void TForm1::DeleteSelectedIn(Id id) {
  const HWND list = Control(id);
  const LRESULT count = ::SendMessageW(list, LB_GETSELCOUNT, 0, 0);
  std::vector<int> rows(count > 0 ? static_cast<std::size_t>(count) : 0);
  if (!rows.empty())
    rows.resize(static_cast<std::size_t>(std::max<LRESULT>(
        0, ::SendMessageW(list, LB_GETSELITEMS, rows.size(), reinterpret_cast<LPARAM>(rows.data())))));
  DeleteSelectedHosts(settings_, id == kListBox1 ? HostList::Allowed : HostList::Denied, std::move(rows));
  RefreshHostLists();
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
  // Names and folders are bytes in the PC's code page: the ANSI calls show them as they are.
  const HWND box = Control(kComboBox1);
  ::SendMessageW(box, CB_RESETCONTENT, 0, 0);
  for (const std::string& entry : DeviceEntries(devices))
    ::SendMessageA(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  ::SendMessageW(box, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
  ::SetWindowTextA(Control(kEdit1), folder.c_str());
}

void TForm1::Button7Click() {
  if (!devices_ || !PickFolder) return;
  // The folder shown is where the picker starts; cancelling keeps it.
  const std::string shown = devices_->Edit1();
  devices_->FolderChosen(FolderAfterPick(shown, PickFolder(shown)));
  RefreshDevices();
}

void TForm1::Shape1Click() {
  if (!PickColor) return;
  const std::optional<COLORREF> chosen = PickColor(pointerColor_);
  if (!chosen) return;  // cancelled: nothing changes, nothing is saved
  pointerColor_ = *chosen & 0xFFFFFF;
  ::InvalidateRect(Control(kShape1), nullptr, TRUE);
  if (PointerColorChanged) PointerColorChanged(pointerColor_);
  settings_.Change([&](settings::Options& o) { o.PointerColor = pointerColor_; });
}

void TForm1::DrawShape1(const DRAWITEMSTRUCT& item) const {
  ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
  const HBRUSH fill = ::CreateSolidBrush(pointerColor_);
  const HGDIOBJ oldBrush = ::SelectObject(item.hDC, fill);
  const HGDIOBJ oldPen = ::SelectObject(item.hDC, ::GetStockObject(BLACK_PEN));
  ::Ellipse(item.hDC, item.rcItem.left, item.rcItem.top, item.rcItem.right, item.rcItem.bottom);
  ::SelectObject(item.hDC, oldPen);
  ::SelectObject(item.hDC, oldBrush);
  ::DeleteObject(fill);
}

void TForm1::SetCountryAndLayout(int countryCode, const std::string& layoutName) {
  ::SetWindowTextA(Control(kLabel19), std::to_string(countryCode).c_str());
  ::SetWindowTextA(Control(kLabel21), layoutName.c_str());
}

void TForm1::SetLastVirtualKey(int code) {
  ::SetWindowTextA(Control(kLabel10), std::to_string(code).c_str());
}

void TForm1::Command(int id, int code) {
  switch (id) {
    case kCheckBox1:
    case kCheckBox2:
    case kCheckBox3:
    case kCheckBox5:
      if (code == BN_CLICKED) SettingsChanged();
      break;
    case kButton2:
    case kButton4:
      if (code == BN_CLICKED) DeleteSelectedIn(id == kButton2 ? kListBox1 : kListBox2);
      break;
    case kButton3:
    case kButton5:
      if (code == BN_CLICKED) {
        DeleteAllHosts(settings_, id == kButton3 ? HostList::Allowed : HostList::Denied);
        RefreshHostLists();
      }
      break;
    case kButton6:
      if (code == BN_CLICKED && OnButton6Click) OnButton6Click();
      break;
    case kButton7:
      if (code == BN_CLICKED) Button7Click();
      break;
    case kButton8:
      if (code == BN_CLICKED && devices_) {
        devices_->Button8Click();
        RefreshDevices();
      }
      break;
    case kComboBox1:
      // A selection by the user shows the entry's folder and saves nothing.
      if (code == CBN_SELCHANGE && devices_) {
        devices_->ComboBox1Change(static_cast<int>(::SendMessageW(Control(kComboBox1), CB_GETCURSEL, 0, 0)));
        RefreshDevices();
      }
      break;
    case kShape1:
      if (code == STN_CLICKED) Shape1Click();
      break;
    case kWebRemote:
      if (code == BN_CLICKED) WebRemoteClick();
      break;
    case kKeepAddress:
      if (code == BN_CLICKED) KeepAddressClick();
      break;
    case kFernpadLink:
    case kSnapferryLink:
      if (code == STN_CLICKED)
        ::ShellExecuteA(window_, "open", id == kFernpadLink ? kFernpadPage : kSnapferryPage, nullptr, nullptr,
                        SW_SHOW);
      break;
    default:
      break;
  }
}

LRESULT CALLBACK TForm1::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* self = Owner<TForm1>(window, message, l);
  if (self == nullptr || self->window_ == nullptr) return ::DefWindowProcW(window, message, w, l);
  return self->Handle(message, w, l);
}

LRESULT TForm1::Handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_COMMAND:
      if (l != 0) Command(LOWORD(w), HIWORD(w));
      return 0;
    case WM_HSCROLL:
      if (reinterpret_cast<HWND>(l) == Control(kScrollBar1)) ScrollBar1Scroll(LOWORD(w));
      return 0;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(l);
      if (header->idFrom == kPageControl1 && header->code == TCN_SELCHANGE)
        ShowPage(static_cast<int>(::SendMessageW(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
      return 0;
    }
    case WM_DRAWITEM:
      if (w == kShape1) DrawShape1(*reinterpret_cast<const DRAWITEMSTRUCT*>(l));
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      // Captions, boxes and frames on a page are drawn on the page's own background; the link captions in
      // the colour of links.
      const auto control = reinterpret_cast<HWND>(l);
      const auto dc = reinterpret_cast<HDC>(w);
      const int id = ::GetDlgCtrlID(control);
      if (id == kFernpadLink || id == kSnapferryLink) ::SetTextColor(dc, RGB(0, 0x66, 0xCC));
      if (id == kWebError) ::SetTextColor(dc, RGB(0xC0, 0, 0));
      const bool onPage =
          std::any_of(pageOf_.begin(), pageOf_.end(), [&](auto& p) { return p.first == control; });
      if (!onPage || id == kEdit1 || id == kWebAddresses) break;  // a read-only box keeps the look of one
      if (pageBrush_ == nullptr) pageBrush_ = ::CreateSolidBrush(PageColour());
      ::SetBkMode(dc, TRANSPARENT);
      return reinterpret_cast<LRESULT>(pageBrush_);
    }
    case WM_ERASEBKGND: {
      // The window in the button face, the page area in the page's colour: a frame of a page (drawn over the
      // tab control, which leaves it out) shows the window's background inside.
      const auto dc = reinterpret_cast<HDC>(w);
      RECT client;
      ::GetClientRect(window_, &client);
      ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
      if (pageBrush_ == nullptr) pageBrush_ = ::CreateSolidBrush(PageColour());
      RECT page;
      ::GetWindowRect(Control(kPageControl1), &page);
      ::MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&page), 2);
      ::SendMessageW(Control(kPageControl1), TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&page));
      ::FillRect(dc, &page, pageBrush_);
      return 1;
    }
    case WM_THEMECHANGED:
    case WM_SYSCOLORCHANGE:
      if (pageBrush_ != nullptr) ::DeleteObject(pageBrush_);
      pageBrush_ = nullptr;  // made again with the new colours at the next drawing
      break;
    case WM_SETCURSOR:
      if (const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(w));
          id == kShape1 || id == kFernpadLink || id == kSnapferryLink) {
        ::SetCursor(::LoadCursorA(nullptr, IDC_HAND));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(w) != WA_INACTIVE) {
        RefreshAddressLine();
        if (webRemote_) ShowWebRemote(webRemote_->Current());
      }
      break;
    case WM_SYSCOMMAND:
      if ((w & 0xFFF0) == SC_MINIMIZE) {
        ::ShowWindow(window_, SW_HIDE);  // the server goes on; the tray brings it back
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(w) != 0 ? HIWORD(w) : 96;
      MakeFonts();
      Layout();
      const auto* suggested = reinterpret_cast<const RECT*>(l);
      ::SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case kHostListsChanged:
      RefreshHostLists();
      return 0;
    case kDevicesChanged:
      RefreshDevices();
      return 0;
    case kVirtualKey:
      SetLastVirtualKey(static_cast<int>(w));
      return 0;
    case WM_CLOSE:
      if (OnClose) {
        OnClose();  // closing the window stops the server
      } else {
        ::DestroyWindow(window_);
        ::PostQuitMessage(0);
      }
      return 0;
    case WM_DESTROY:
      window_ = nullptr;
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(window_, message, w, l);
}

}  // namespace fernpad::app
