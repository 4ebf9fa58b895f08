// SPDX-License-Identifier: GPL-3.0-or-later
#include "Unit_main/ListDrag.h"

#include <commctrl.h>
#include <shlobj.h>
#include <windowsx.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "Unit_main/ListTips.h"
#include "commands/EntryActions.h"
#include "dialogs/ErrorBox.h"

namespace mv {
namespace {

constexpr UINT_PTR kDragSubclassId = 0x6472;  // 'dr'

// The COM objects live on the stack of one drag; reference counts are kept for the protocol,
// not for their lifetime.
template <class TInterface, const IID& kIid>
class TStackObject : public TInterface {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == kIid) {
      *out = static_cast<TInterface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs_; }

 private:
  std::atomic<ULONG> refs_{1};
};

class TFilesData final : public TStackObject<IDataObject, IID_IDataObject> {
 public:
  explicit TFilesData(const std::vector<std::string>& paths) : paths_(paths) {}

  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    HGLOBAL files = MakeDropFiles(paths_);
    if (files == nullptr) return E_OUTOFMEMORY;
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = files;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    if (format == nullptr || format->cfFormat != CF_HDROP || format->lindex != -1 ||
        (format->tymed & TYMED_HGLOBAL) == 0 || format->dwAspect != DVASPECT_CONTENT)
      return DV_E_FORMATETC;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
    out->ptd = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** out) override {
    if (direction != DATADIR_GET) return E_NOTIMPL;
    FORMATETC format{CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    return SHCreateStdEnumFmtEtc(1, &format, out);
  }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override {
    return OLE_E_ADVISENOTSUPPORTED;
  }

 private:
  std::vector<std::string> paths_;
};

class TDropSource final : public TStackObject<IDropSource, IID_IDropSource> {
 public:
  HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL escape, DWORD keys) override {
    if (escape) return DRAGDROP_S_CANCEL;
    return (keys & MK_LBUTTON) == 0 ? DRAGDROP_S_DROP : S_OK;
  }
  HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
};

}  // namespace

HGLOBAL MakeDropFiles(const std::vector<std::string>& paths) {
  std::size_t bytes = sizeof(DROPFILES) + 1;
  for (const std::string& path : paths) bytes += path.size() + 1;
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes);
  if (block == nullptr) return nullptr;
  auto* header = static_cast<DROPFILES*>(GlobalLock(block));
  if (header == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  header->pFiles = sizeof(DROPFILES);
  header->fWide = FALSE;
  char* at = reinterpret_cast<char*>(header) + sizeof(DROPFILES);
  for (const std::string& path : paths) {
    std::memcpy(at, path.c_str(), path.size() + 1);
    at += path.size() + 1;
  }
  GlobalUnlock(block);
  return block;
}

TListDrag::TListDrag(TListBox& list) : list_(list) {
  // Counted per thread; a thread already set up for free threading cannot drag.
  oleReady_ = SUCCEEDED(OleInitialize(nullptr));
  DoDrag = [](IDataObject* data, IDropSource* source, DWORD allowed) {
    DWORD effect = DROPEFFECT_NONE;
    DoDragDrop(data, source, allowed, &effect);
  };
  SetWindowSubclass(list_.Handle(), ListProc, kDragSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

TListDrag::~TListDrag() {
  if (IsWindow(list_.Handle())) RemoveWindowSubclass(list_.Handle(), ListProc, kDragSubclassId);
  if (oleReady_) OleUninitialize();
}

void TListDrag::Start() {
  const std::vector<std::string> paths = SelectedPaths(list_);
  if (paths.empty() || !DoDrag) return;
  TFilesData data(paths);
  TDropSource source;
  DoDrag(&data, &source, DROPEFFECT_COPY);
}

LRESULT CALLBACK TListDrag::ListProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                     DWORD_PTR data) {
  auto* self = reinterpret_cast<TListDrag*>(data);
  const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  switch (msg) {
    case WM_LBUTTONDOWN: {
      if (!self->oleReady_ || (wParam & (MK_SHIFT | MK_CONTROL)) != 0) break;
      const int row = ListRowAt(hwnd, point);
      if (row < 0 || SendMessageA(hwnd, LB_GETSEL, static_cast<WPARAM>(row), 0) <= 0) break;
      // Held back: the list box would start selecting a range with this press.
      self->pressed_ = true;
      self->pressAt_ = point;
      self->pressKeys_ = wParam;
      SetFocus(hwnd);
      SetCapture(hwnd);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (self->pressed_ && (std::abs(point.x - self->pressAt_.x) > GetSystemMetrics(SM_CXDRAG) ||
                             std::abs(point.y - self->pressAt_.y) > GetSystemMetrics(SM_CYDRAG))) {
        self->pressed_ = false;
        ReleaseCapture();
        RunGuarded([&] { self->Start(); });
        return 0;
      }
      break;
    case WM_LBUTTONUP:
      if (self->pressed_) {
        // No drag after all: the list box gets the click it was kept from.
        self->pressed_ = false;
        ReleaseCapture();
        DefSubclassProc(hwnd, WM_LBUTTONDOWN, self->pressKeys_,
                        MAKELPARAM(self->pressAt_.x, self->pressAt_.y));
      }
      break;
    case WM_CAPTURECHANGED:
      // Another window took the mouse: neither a drag nor a click.
      self->pressed_ = false;
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, ListProc, id);
      break;
    default:
      break;
  }
  return DefSubclassProc(hwnd, msg, wParam, lParam);
}

}  // namespace mv
