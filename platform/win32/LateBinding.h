#pragma once
#include "platform/win32/ScopedHandles.h"

// A function looked up by name in its library when it is first needed. The
// library stays loaded until Release(), at the end of the program.
template <typename Function>
class LateBound {
public:
    LateBound(const char* library, const char* name) : library_(library), name_(name) {}

    // Null when the library or the function cannot be found.
    Function Get()
    {
        if (!function_) {
            if (!module_)
                module_.Reset(LoadLibraryA(library_));
            if (module_)
                function_ = reinterpret_cast<Function>(
                    reinterpret_cast<void*>(GetProcAddress(module_.Get(), name_)));
        }
        return function_;
    }

    void Release()
    {
        function_ = nullptr;
        module_.Reset();
    }

    const char* Library() const { return library_; }
    const char* Name() const { return name_; }

private:
    const char* library_;
    const char* name_;
    ScopedLibrary module_;
    Function function_ = nullptr;
};
