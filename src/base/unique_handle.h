// Small move-only owners for Windows handles: one type per way of closing, and
// the type decides which values count as "no handle".
#pragma once
#include <windows.h>
#include <winsvc.h>

#include <utility>

namespace owners_detail {

// Policy: static bool isEmpty(T); static T empty(); static void close(T).
template <typename T, typename Policy>
class UniqueOwner {
public:
    UniqueOwner() noexcept : value_(Policy::empty()) {}
    explicit UniqueOwner(T value) noexcept : value_(value) {}
    ~UniqueOwner() { reset(); }

    UniqueOwner(const UniqueOwner&) = delete;
    UniqueOwner& operator=(const UniqueOwner&) = delete;
    UniqueOwner(UniqueOwner&& other) noexcept : value_(other.release()) {}
    UniqueOwner& operator=(UniqueOwner&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const noexcept { return value_; }
    bool valid() const noexcept { return !Policy::isEmpty(value_); }
    explicit operator bool() const noexcept { return valid(); }

    void reset(T value = Policy::empty()) noexcept {
        T old = value_;
        value_ = value;
        if (!Policy::isEmpty(old)) Policy::close(old);
    }
    [[nodiscard]] T release() noexcept {
        T old = value_;
        value_ = Policy::empty();
        return old;
    }
    // For APIs that fill a handle through an out-parameter: closes what was held.
    T* put() noexcept {
        reset();
        return &value_;
    }

private:
    T value_;
};

// Snapshots and files: both NULL and INVALID_HANDLE_VALUE mean "none".
struct HandlePolicy {
    static bool isEmpty(HANDLE h) { return h == NULL || h == INVALID_HANDLE_VALUE; }
    static HANDLE empty() { return NULL; }
    static void close(HANDLE h) { CloseHandle(h); }
};

// Processes, threads and tokens: -1 is the current-process pseudo-handle, so
// only NULL is empty (closing the pseudo-handle is harmless).
struct ProcessHandlePolicy {
    static bool isEmpty(HANDLE h) { return h == NULL; }
    static HANDLE empty() { return NULL; }
    static void close(HANDLE h) { CloseHandle(h); }
};

struct ScHandlePolicy {
    static bool isEmpty(SC_HANDLE h) { return h == NULL; }
    static SC_HANDLE empty() { return NULL; }
    static void close(SC_HANDLE h) { CloseServiceHandle(h); }
};

// Predefined roots (HKEY_LOCAL_MACHINE...) are never handed to an owner.
struct RegKeyPolicy {
    static bool isEmpty(HKEY h) { return h == NULL; }
    static HKEY empty() { return NULL; }
    static void close(HKEY h) { RegCloseKey(h); }
};

}  // namespace owners_detail

using UniqueHandle = owners_detail::UniqueOwner<HANDLE, owners_detail::HandlePolicy>;
using UniqueProcessHandle = owners_detail::UniqueOwner<HANDLE, owners_detail::ProcessHandlePolicy>;
using UniqueScHandle = owners_detail::UniqueOwner<SC_HANDLE, owners_detail::ScHandlePolicy>;
using UniqueRegKey = owners_detail::UniqueOwner<HKEY, owners_detail::RegKeyPolicy>;
