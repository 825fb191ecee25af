#include "app/win/WinUpdaterUi.h"

#include <objbase.h>

#include <stdexcept>

#include "app/win/MainForm.h"
#include "app/win/WindowSupport.h"
#include "core/Log.h"

namespace fernpad::app {
namespace {

constexpr wchar_t kCheckClass[] = L"FernpadUpdateCheck";
constexpr UINT_PTR kUpdateTimer = 1;

UINT StyleOf(updater::UpdaterUi::Icon icon) {
  switch (icon) {
    case updater::UpdaterUi::Icon::Warning:
      return MB_ICONWARNING;
    case updater::UpdaterUi::Icon::Information:
      return MB_ICONINFORMATION;
    case updater::UpdaterUi::Icon::None:
      break;
  }
  return 0;
}

}  // namespace

WinUpdaterUi::WinUpdaterUi() : form_(std::make_unique<TUpdaterForm>()) {
  formWindow_ = form_->Window();
  form_->OnCancel = [this] { cancelled_ = true; };
  form_->OnProgressPosted = [this] {
    updater::TransferProgress shown;
    {
      std::lock_guard lock(progressLock_);
      shown = newest_;
      progressPosted_ = false;
    }
    form_->SetProgress(shown.received, shown.total);
  };
}

void WinUpdaterUi::Post(UINT message) {
  if (const HWND window = formWindow_.load(); window != nullptr && !closing_)
    ::PostMessageW(window, message, 0, 0);
}

void WinUpdaterUi::ShowBox(const updater::BoxText& box, Icon icon) {
  boxes_.Show(box.text, box.caption, MB_OK | StyleOf(icon), IDOK);
}

bool WinUpdaterUi::AskYesNo(const updater::BoxText& box) {
  // A program closing meanwhile declines.
  return boxes_.Show(box.text, box.caption, MB_YESNO, IDNO) == IDYES;
}

void WinUpdaterUi::DownloadStarted() {
  cancelled_ = false;
  {
    std::lock_guard lock(progressLock_);
    newest_ = {};
    progressPosted_ = false;
  }
  Post(TUpdaterForm::kOpenMessage);
}

bool WinUpdaterUi::DownloadProgress(const updater::TransferProgress& progress) {
  bool post = false;
  {
    std::lock_guard lock(progressLock_);
    newest_ = progress;
    post = !progressPosted_;
    progressPosted_ = true;
  }
  if (post) Post(TUpdaterForm::kProgressMessage);
  return !cancelled_ && !closing_;
}

void WinUpdaterUi::DownloadEnded() {
  Post(TUpdaterForm::kHideMessage);
}

void WinUpdaterUi::HandOver(const std::filesystem::path& installer) {
  // The shell may hand the start to extensions that need COM on the calling thread.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  const bool started = Launch && Launch(installer);
  if (SUCCEEDED(com)) ::CoUninitialize();
  if (!started) {
    log::Write("The update could not be started: the shell could not open " + installer.string());
    return;
  }
  if (EndProgram) EndProgram();
}

void WinUpdaterUi::BeginShutdown() {
  closing_ = true;
  boxes_.BeginShutdown();
  form_->Hide();
}

WinUpdateCheck::WinUpdateCheck(TForm1& form) : form_(form) {
  RegisterClassOnce(kCheckClass, Procedure);
  window_ = ::CreateWindowExW(0, kCheckClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              ::GetModuleHandleW(nullptr), this);
  if (window_ == nullptr) throw std::runtime_error("the update check's window cannot be made");
  form_.OnButton6Click = [this] { Button6Click(); };
}

WinUpdateCheck::~WinUpdateCheck() {
  EndUpdateCheck();
  form_.OnButton6Click = nullptr;
  ::DestroyWindow(window_);
}

void WinUpdateCheck::Button6Click() {
  StartUpdateCheck(false);
}

void WinUpdateCheck::StartUpdateTimer() {
  ::SetTimer(window_, kUpdateTimer, 1000, nullptr);
}

void WinUpdateCheck::UpdateTimerTimer() {
  ::KillTimer(window_, kUpdateTimer);
  StartUpdateCheck(true);
}

void WinUpdateCheck::StartUpdateCheck(bool silent) {
  if (!UpdaterConfigSource || worker_.Running()) return;
  form_.SetStayOnTop(false);
  const HWND window = window_;
  const bool started =
      worker_.Start([source = UpdaterConfigSource, silent](
                        updater::UpdaterUi& ui) { return updater::CheckForUpdate(source(), ui, silent); },
                    [window](updater::CheckOutcome outcome) {
                      ::PostMessageW(window, kCheckEnded, static_cast<WPARAM>(outcome), 0);
                    });
  if (!started) form_.SetStayOnTop(true);
}

void WinUpdateCheck::EndUpdateCheck() {
  ::KillTimer(window_, kUpdateTimer);
  worker_.Shutdown([this] { ui_.BeginShutdown(); });
}

LRESULT CALLBACK WinUpdateCheck::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* self = Owner<WinUpdateCheck>(window, message, l);
  if (self != nullptr) {
    if (message == WM_TIMER && w == kUpdateTimer) {
      self->UpdateTimerTimer();
      return 0;
    }
    // The worker is at its end: joined here, the window goes back on top and whoever waits is told.
    if (message == kCheckEnded) {
      if (self->worker_.Join()) {
        self->form_.SetStayOnTop(true);
        if (self->Finished) self->Finished(static_cast<updater::CheckOutcome>(w));
      }
      return 0;
    }
  }
  return ::DefWindowProcW(window, message, w, l);
}

}  // namespace fernpad::app
