#pragma once
#include "platform/Registry.h"

class Win32Registry final : public RegistryApi {
public:
    bool OpenKey(RegistryRoot root, const char* keyPath, RegistryAccess access, RegistryKey& key) override;
    bool CreateKey(RegistryRoot root, const char* keyPath, RegistryKey& key) override;
    void CloseKey(RegistryKey key) override;
    bool QueryValueType(RegistryKey key, const char* name, uint32_t& type, uint32_t& size) override;
    bool QueryNumber(RegistryKey key, const char* name, uint32_t& number) override;
    bool SetValue(RegistryKey key, const char* name, uint32_t type, const void* data, uint32_t size) override;
    bool DeleteValue(RegistryKey key, const char* name) override;
    bool DeleteKey(RegistryRoot root, const char* keyPath) override;
};
