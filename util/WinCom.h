// Internal to util/: COM for one call of the Windows shell layers.
#pragma once

#include <objbase.h>

namespace FileUtils::Win {

// Begins COM on this thread for one call and ends it again, when the call began it.
class ComScope {
public:
    explicit ComScope(DWORD model) : FResult(::CoInitializeEx(nullptr, model)) {}
    ~ComScope()
    {
        if (SUCCEEDED(FResult))
            ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

    // Whether COM can be used: begun here, or already begun in another model.
    bool Usable() const { return SUCCEEDED(FResult) || FResult == RPC_E_CHANGED_MODE; }

private:
    HRESULT FResult;
};

// Releases a COM interface when it goes.
template <typename T>
struct ComPtr {
    T* p = nullptr;
    ComPtr() = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr()
    {
        if (p)
            p->Release();
    }
};

}  // namespace FileUtils::Win
