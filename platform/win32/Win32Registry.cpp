#include "platform/win32/Win32Registry.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace {

HKEY RootKey(RegistryRoot) { return HKEY_LOCAL_MACHINE; }

HKEY AsKey(RegistryKey key) { return static_cast<HKEY>(key); }

}  // namespace

bool Win32Registry::OpenKey(RegistryRoot root, const char* keyPath, RegistryAccess access, RegistryKey& key)
{
    // Exactly these rights: no view bit, so the build's own view applies.
    REGSAM rights = access == RegistryAccess::Read ? KEY_READ : KEY_WRITE;
    HKEY opened = nullptr;
    if (RegOpenKeyExA(RootKey(root), keyPath, 0, rights, &opened) != ERROR_SUCCESS)
        return false;
    key = opened;
    return true;
}

bool Win32Registry::CreateKey(RegistryRoot root, const char* keyPath, RegistryKey& key)
{
    HKEY created = nullptr;
    if (RegCreateKeyA(RootKey(root), keyPath, &created) != ERROR_SUCCESS)
        return false;
    key = created;
    return true;
}

void Win32Registry::CloseKey(RegistryKey key) { RegCloseKey(AsKey(key)); }

bool Win32Registry::QueryValueType(RegistryKey key, const char* name, uint32_t& type, uint32_t& size)
{
    DWORD valueType = 0;
    DWORD valueSize = 0;
    if (RegQueryValueExA(AsKey(key), name, nullptr, &valueType, nullptr, &valueSize) != ERROR_SUCCESS)
        return false;
    type = valueType;
    size = valueSize;
    return true;
}

bool Win32Registry::QueryNumber(RegistryKey key, const char* name, uint32_t& number)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(AsKey(key), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS)
        return false;
    number = value;
    return true;
}

bool Win32Registry::SetValue(RegistryKey key, const char* name, uint32_t type, const void* data, uint32_t size)
{
    return RegSetValueExA(AsKey(key), name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
}

bool Win32Registry::DeleteValue(RegistryKey key, const char* name)
{
    return RegDeleteValueA(AsKey(key), name) == ERROR_SUCCESS;
}

bool Win32Registry::DeleteKey(RegistryRoot root, const char* keyPath)
{
    return RegDeleteKeyA(RootKey(root), keyPath) == ERROR_SUCCESS;
}
