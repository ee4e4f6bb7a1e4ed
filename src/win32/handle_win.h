// Owning wrappers for kernel handles. Windows has two "no handle" values: most calls return
// NULL on failure, CreateFile and the snapshot/find calls INVALID_HANDLE_VALUE. Both are stored
// as empty, so `if (handle)` means "a handle we must close" whichever call made it.
#pragma once

#include <windows.h>

#include <utility>

namespace pellora::win32 {

template <typename Traits>
class UniqueHandle {
  public:
    using Raw = typename Traits::Raw;

    UniqueHandle() = default;
    explicit UniqueHandle(Raw raw) : raw_(Traits::IsValid(raw) ? raw : Traits::Empty()) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : raw_(std::exchange(other.raw_, Traits::Empty())) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            raw_ = std::exchange(other.raw_, Traits::Empty());
        }
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    Raw get() const { return raw_; }
    explicit operator bool() const { return raw_ != Traits::Empty(); }
    void Reset() {
        if (*this)
            Traits::Close(raw_);
        raw_ = Traits::Empty();
    }

  private:
    Raw raw_ = Traits::Empty();
};

struct KernelHandleTraits {
    using Raw = HANDLE;
    static Raw Empty() { return nullptr; }
    static bool IsValid(Raw raw) { return raw != nullptr && raw != INVALID_HANDLE_VALUE; }
    static void Close(Raw raw) { CloseHandle(raw); }
};

struct FindHandleTraits {
    using Raw = HANDLE;
    static Raw Empty() { return nullptr; }
    static bool IsValid(Raw raw) { return raw != nullptr && raw != INVALID_HANDLE_VALUE; }
    static void Close(Raw raw) { FindClose(raw); }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;

}  // namespace pellora::win32
