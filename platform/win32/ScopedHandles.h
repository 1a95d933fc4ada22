#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <wininet.h>

// One owner per handle, closed on every way out of its scope. Copies are
// forbidden; a handle moves to a new owner only by Release(). (Registry
// keys have theirs in settings/Registry.h, over the registry interface.)
template <typename Handle, typename Close>
class Scoped {
public:
    Scoped() = default;
    explicit Scoped(Handle handle) : handle_(handle) {}
    Scoped(const Scoped&) = delete;
    Scoped& operator=(const Scoped&) = delete;
    ~Scoped() { Reset(); }

    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    void Reset(Handle handle = nullptr)
    {
        if (handle_)
            Close()(handle_);
        handle_ = handle;
    }

    Handle Release()
    {
        Handle handle = handle_;
        handle_ = nullptr;
        return handle;
    }

private:
    Handle handle_ = nullptr;
};

struct CloseInternetHandle {
    void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
struct DestroyIconHandle {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct DeleteFontHandle {
    void operator()(HFONT font) const { DeleteObject(font); }
};
struct FreeLibraryHandle {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};

using ScopedInternet = Scoped<HINTERNET, CloseInternetHandle>;
using ScopedIcon = Scoped<HICON, DestroyIconHandle>;
using ScopedFont = Scoped<HFONT, DeleteFontHandle>;
using ScopedLibrary = Scoped<HMODULE, FreeLibraryHandle>;
