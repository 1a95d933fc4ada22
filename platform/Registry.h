#pragma once
#include <stdint.h>

// The registry calls the settings make, one method per Win32 function, so
// tests can stand in for the registry. Keys are opened with KEY_READ for
// reading and KEY_WRITE for writing and deleting, nothing more.
using RegistryKey = void*;

enum class RegistryRoot { LocalMachine };
enum class RegistryAccess { Read, Write };

// The value types the settings distinguish.
constexpr uint32_t RegistryTypeText = 1;    // REG_SZ
constexpr uint32_t RegistryTypeNumber = 4;  // REG_DWORD

class RegistryApi {
public:
    // RegOpenKeyExA; a key path of "" opens the root itself.
    virtual bool OpenKey(RegistryRoot root, const char* keyPath, RegistryAccess access, RegistryKey& key) = 0;
    // RegCreateKeyA: opens the key, or makes it and every missing key above it.
    virtual bool CreateKey(RegistryRoot root, const char* keyPath, RegistryKey& key) = 0;
    virtual void CloseKey(RegistryKey key) = 0;
    // RegQueryValueExA asking for the type and size only.
    virtual bool QueryValueType(RegistryKey key, const char* name, uint32_t& type, uint32_t& size) = 0;
    // RegQueryValueExA into a 4-byte integer.
    virtual bool QueryNumber(RegistryKey key, const char* name, uint32_t& number) = 0;
    // RegSetValueExA.
    virtual bool SetValue(RegistryKey key, const char* name, uint32_t type, const void* data, uint32_t size) = 0;
    // RegDeleteValueA.
    virtual bool DeleteValue(RegistryKey key, const char* name) = 0;
    // RegDeleteKeyA: a key without subkeys.
    virtual bool DeleteKey(RegistryRoot root, const char* keyPath) = 0;

protected:
    ~RegistryApi() = default;
};
