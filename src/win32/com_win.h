// Small owners for COM calls: an interface reference, a BSTR, and COM initialised for the
// length of one call; and the Task Scheduler reached through them.
#pragma once

#include <windows.h>

#include <oleauto.h>
#include <taskschd.h>

#include <string>

namespace pellora::win32 {

template <typename T>
class ComRef {
  public:
    ComRef() = default;
    ~ComRef() {
        if (p_)
            p_->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    T** Out() { return &p_; }
    void** OutVoid() { return reinterpret_cast<void**>(&p_); }
    T* operator->() const { return p_; }
    T* get() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

  private:
    T* p_ = nullptr;
};

class Bstr {
  public:
    explicit Bstr(const std::wstring& text) : b_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    ~Bstr() { SysFreeString(b_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    operator BSTR() const { return b_; }

  private:
    BSTR b_;
};

// COM for the length of one call: the window's thread is single-threaded apartment, and a caller
// that has COM in another mode already is served in that mode.
class ComScope {
  public:
    ComScope() : hr_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(hr_))
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    bool ok() const { return SUCCEEDED(hr_) || hr_ == RPC_E_CHANGED_MODE; }

  private:
    HRESULT hr_;
};

// The scheduler's root folder on this computer, as the current user.
inline bool RootFolder(ComRef<ITaskService>& service, ComRef<ITaskFolder>& folder) {
    if (FAILED(
            CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService, service.OutVoid())))
        return false;
    VARIANT empty;
    VariantInit(&empty);
    if (FAILED(service->Connect(empty, empty, empty, empty)))
        return false;
    return SUCCEEDED(service->GetFolder(Bstr(L"\\"), folder.Out()));
}

}  // namespace pellora::win32
