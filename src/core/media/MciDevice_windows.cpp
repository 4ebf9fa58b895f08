// SPDX-License-Identifier: GPL-3.0-or-later
// The media device of the Windows build: the system's Media Control Interface (winmm), one MCI
// device per open medium. Every command goes through mciSendCommandA with the classic parameter
// records; completion notices come back as MM_MCINOTIFY to a message-only window of the device.
// That window runs its own small message loop on a thread of the device, so notices arrive
// whatever loop the player's thread runs (the window's, or melvigil-cli's plain dispatcher);
// TMediaPlayer hands them on to its window thread.
//
// Result codes are MCI's own, so ErrorText is mciGetErrorStringA. Length and position are in
// the device's default time format, which is milliseconds for the wave and MPEG video drivers.

#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include <deque>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "media/MediaDevice.h"

namespace mv {

namespace {

// mciGetErrorStringA's buffer, as large as the longest text any driver is known to give.
constexpr UINT kErrorTextBuffer = 4096;
constexpr std::size_t kMaxPending = 8;

class TMciDevice;

// The notice window's class is registered once per process; each device owns one window.
constexpr const char* kNoticeClass = "MelvigilMciNotice";

LRESULT CALLBACK NoticeWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

ATOM RegisterNoticeClass() {
  static const ATOM atom = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = NoticeWndProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kNoticeClass;
    return RegisterClassA(&wc);
  }();
  return atom;
}

class TMciDevice final : public IMediaDevice {
 public:
  TMciDevice() {
    RegisterNoticeClass();
    std::promise<HWND> created;
    std::future<HWND> window = created.get_future();
    noticeThread_ = std::thread([this, &created] { NoticeLoop(created); });
    window_ = window.get();
  }

  ~TMciDevice() override {
    if (id_ != 0) {
      MCI_GENERIC_PARMS parms{};
      mciSendCommandA(id_, MCI_CLOSE, MCI_WAIT, DWORD_PTR(&parms));
    }
    // Notices still queued for the window are dropped with it.
    if (window_ != nullptr) PostMessageA(window_, WM_CLOSE, 0, 0);
    noticeThread_.join();
  }

  TMciDevice(const TMciDevice&) = delete;
  TMciDevice& operator=(const TMciDevice&) = delete;

  std::uint32_t Open(const TOpenRequest& request, bool wait, TNotifyFn notify) override {
    MCI_OPEN_PARMSA parms{};
    parms.dwCallback = DWORD_PTR(window_);
    DWORD flags = Flags(wait, notify != nullptr) | MCI_OPEN_ELEMENT;
    parms.lpstrElementName = request.element.c_str();
    if (request.shareable) flags |= MCI_OPEN_SHAREABLE;
    std::lock_guard lock(mutex_);
    const MCIERROR result = mciSendCommandA(0, MCI_OPEN, flags, DWORD_PTR(&parms));
    if (result != 0) return result;
    id_ = static_cast<MCIDEVICEID>(parms.wDeviceID);
    Expect(notify);
    return 0;
  }

  std::uint32_t Close(bool wait, TNotifyFn notify) override {
    MCI_GENERIC_PARMS parms{};
    parms.dwCallback = DWORD_PTR(window_);
    std::lock_guard lock(mutex_);
    const MCIERROR result =
        mciSendCommandA(id_, MCI_CLOSE, Flags(wait, notify != nullptr), DWORD_PTR(&parms));
    if (result == 0) {
      Expect(notify);
      id_ = 0;
    }
    return result;
  }

  std::uint32_t Play(bool wait, TNotifyFn notify) override {
    return SendExpecting<MCI_PLAY_PARMS>(MCI_PLAY, wait, notify);
  }

  std::uint32_t Stop(bool wait, TNotifyFn notify) override {
    return SendExpecting<MCI_GENERIC_PARMS>(MCI_STOP, wait, notify);
  }

  std::uint32_t SeekToStart() override {
    MCI_SEEK_PARMS parms{};
    parms.dwCallback = DWORD_PTR(window_);
    return mciSendCommandA(id_, MCI_SEEK, MCI_SEEK_TO_START | MCI_WAIT, DWORD_PTR(&parms));
  }

  std::uint16_t Id() const override { return static_cast<std::uint16_t>(id_); }
  std::int32_t Length() override { return static_cast<std::int32_t>(Status(MCI_STATUS_LENGTH)); }
  std::int32_t Position() override {
    return static_cast<std::int32_t>(Status(MCI_STATUS_POSITION));
  }
  TMPModes Mode() override {
    const DWORD_PTR mode = Status(MCI_STATUS_MODE);
    if (mode < MCI_MODE_NOT_READY || mode > MCI_MODE_OPEN) return mpNotReady;
    return static_cast<TMPModes>(mode - MCI_MODE_NOT_READY);
  }

  bool ErrorText(std::uint32_t code, std::string& text) const override {
    std::vector<char> buffer(kErrorTextBuffer, '\0');
    if (!mciGetErrorStringA(code, buffer.data(), kErrorTextBuffer)) return false;
    buffer.back() = '\0';
    text = buffer.data();
    return !text.empty();
  }

  // MM_MCINOTIFY, on the notice thread: the oldest notice still expected. The device id the
  // notice carries is not used: Wine's MPEG video driver reports 0 there.
  void Notice(WPARAM code) {
    std::unique_lock lock(mutex_);
    if (pending_.empty()) return;
    TNotifyFn fn = std::move(pending_.front());
    pending_.pop_front();
    // The notice codes carry MCI's own values.
    static_assert(MCI_NOTIFY_SUCCESSFUL == nvSuccessful && MCI_NOTIFY_SUPERSEDED == nvSuperseded &&
                  MCI_NOTIFY_ABORTED == nvAborted);
    const bool known = code == MCI_NOTIFY_SUCCESSFUL || code == MCI_NOTIFY_SUPERSEDED ||
                       code == MCI_NOTIFY_ABORTED;
    const TMPNotifyValues value = known ? static_cast<TMPNotifyValues>(code) : nvFailure;
    lock.unlock();
    fn(value);
  }

 private:
  void NoticeLoop(std::promise<HWND>& created) {
    HWND window = CreateWindowExA(0, kNoticeClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    if (window != nullptr) SetWindowLongPtrA(window, GWLP_USERDATA, LONG_PTR(this));
    created.set_value(window);
    if (window == nullptr) return;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  }

  static DWORD Flags(bool wait, bool notify) {
    return (wait ? MCI_WAIT : 0) | (notify ? MCI_NOTIFY : 0);
  }

  // A command that may end in a notice: the notice is queued before the command, as a
  // waiting command's notice may be posted before it returns.
  template <class TParms>
  std::uint32_t SendExpecting(UINT command, bool wait, const TNotifyFn& notify) {
    TParms parms{};
    parms.dwCallback = DWORD_PTR(window_);
    std::lock_guard lock(mutex_);
    Expect(notify);
    const MCIERROR result =
        mciSendCommandA(id_, command, Flags(wait, notify != nullptr), DWORD_PTR(&parms));
    if (result != 0) Unexpect(notify);
    return result;
  }

  void Expect(const TNotifyFn& notify) {
    if (!notify) return;
    // A driver that never reports an interrupted command would otherwise let the queue grow.
    if (pending_.size() >= kMaxPending) pending_.pop_front();
    pending_.push_back(notify);
  }
  void Unexpect(const TNotifyFn& notify) {
    if (notify && !pending_.empty()) pending_.pop_back();
  }

  DWORD_PTR Status(DWORD item) {
    MCI_STATUS_PARMS parms{};
    parms.dwCallback = DWORD_PTR(window_);
    parms.dwItem = item;
    if (mciSendCommandA(id_, MCI_STATUS, MCI_STATUS_ITEM | MCI_WAIT, DWORD_PTR(&parms)) != 0)
      return 0;
    return parms.dwReturn;
  }

  HWND window_ = nullptr;
  std::thread noticeThread_;
  // Guards pending_ between the commands (window thread) and the notices (notice thread).
  std::mutex mutex_;
  MCIDEVICEID id_ = 0;
  // The notices asked for and not yet received, oldest first. MCI reports them in the order
  // of the commands (a superseded or aborted one at once, when the next command comes).
  std::deque<TNotifyFn> pending_;
};

LRESULT CALLBACK NoticeWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == MM_MCINOTIFY) {
    // Nothing may unwind into the system's dispatch: a failing notice is dropped.
    try {
      if (auto* device = reinterpret_cast<TMciDevice*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)))
        device->Notice(wParam);
    } catch (...) {
    }
    return 0;
  }
  if (msg == WM_CLOSE) {
    DestroyWindow(hwnd);
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wParam, lParam);
}

}  // namespace

std::unique_ptr<IMediaDevice> CreateMediaDevice(const TDeviceOptions&) {
  return std::make_unique<TMciDevice>();
}

}  // namespace mv
