#pragma once
#include <stdint.h>

#include "platform/Registry.h"
#include "platform/Text.h"

// An item path names a key and a value at once: what follows the last
// backslash is the value's name.
struct RegistryItem {
    Text keyPath;    // empty: the root key itself
    Text valueName;  // empty: the key's default value
};

RegistryItem SplitRegistryPath(const char* itemPath);

bool RegistryValueExists(RegistryApi& registry, RegistryRoot root, const char* itemPath);
uint32_t ReadRegistryNumber(RegistryApi& registry, RegistryRoot root, const char* itemPath, uint32_t fallback);
bool WriteRegistryText(RegistryApi& registry, RegistryRoot root, const char* itemPath, const Text& text);
bool WriteRegistryNumber(RegistryApi& registry, RegistryRoot root, const char* itemPath, uint32_t number);
bool DeleteRegistryItem(RegistryApi& registry, RegistryRoot root, const char* itemPath);

// An open key, closed on every way out of the operation that opened it.
class OpenRegistryKey {
public:
    explicit OpenRegistryKey(RegistryApi& registry) : registry_(registry) {}
    OpenRegistryKey(const OpenRegistryKey&) = delete;
    OpenRegistryKey& operator=(const OpenRegistryKey&) = delete;
    ~OpenRegistryKey()
    {
        if (key_)
            registry_.CloseKey(key_);
    }

    bool Open(RegistryRoot root, const char* keyPath, RegistryAccess access)
    {
        return registry_.OpenKey(root, keyPath, access, key_) && key_;
    }
    bool Create(RegistryRoot root, const char* keyPath)
    {
        return registry_.CreateKey(root, keyPath, key_) && key_;
    }
    RegistryKey Get() const { return key_; }
    RegistryApi& Registry() const { return registry_; }

private:
    RegistryApi& registry_;
    RegistryKey key_ = nullptr;
};
