#include "settings/Registry.h"

#include "platform/Path.h"

RegistryItem SplitRegistryPath(const char* itemPath)
{
    long lastBackslash = LastBackslash(itemPath);
    RegistryItem item;
    if (lastBackslash < 0) {
        item.valueName = Text(itemPath);
    } else {
        item.keyPath = Text(itemPath, static_cast<size_t>(lastBackslash));
        item.valueName = Text(itemPath + lastBackslash + 1);
    }
    return item;
}

namespace {

// The item's key, opened for reading, and the type of its value; false when
// either is missing. Only the type and size are asked for, no data.
bool OpenValueForReading(OpenRegistryKey& key, RegistryRoot root, const RegistryItem& item, uint32_t& type)
{
    uint32_t size = 0;
    return key.Open(root, item.keyPath.Data(), RegistryAccess::Read) &&
           key.Registry().QueryValueType(key.Get(), item.valueName.Data(), type, size);
}

}  // namespace

bool RegistryValueExists(RegistryApi& registry, RegistryRoot root, const char* itemPath)
{
    RegistryItem item = SplitRegistryPath(itemPath);
    OpenRegistryKey key(registry);
    uint32_t type = 0;
    return OpenValueForReading(key, root, item, type);
}

uint32_t ReadRegistryNumber(RegistryApi& registry, RegistryRoot root, const char* itemPath, uint32_t fallback)
{
    RegistryItem item = SplitRegistryPath(itemPath);
    OpenRegistryKey key(registry);
    uint32_t type = 0;
    if (!OpenValueForReading(key, root, item, type) || type != RegistryTypeNumber)
        return fallback;
    uint32_t number = 0;
    if (!registry.QueryNumber(key.Get(), item.valueName.Data(), number))
        return fallback;
    return number;
}

namespace {

bool OpenForWriting(OpenRegistryKey& key, RegistryRoot root, const char* keyPath)
{
    return key.Open(root, keyPath, RegistryAccess::Write) || key.Create(root, keyPath);
}

}  // namespace

bool WriteRegistryText(RegistryApi& registry, RegistryRoot root, const char* itemPath, const Text& text)
{
    RegistryItem item = SplitRegistryPath(itemPath);
    OpenRegistryKey key(registry);
    if (!OpenForWriting(key, root, item.keyPath.Data()))
        return false;
    // The stored length counts the terminating zero.
    return registry.SetValue(key.Get(), item.valueName.Data(), RegistryTypeText, text.Data(),
                             static_cast<uint32_t>(text.Length() + 1));
}

bool WriteRegistryNumber(RegistryApi& registry, RegistryRoot root, const char* itemPath, uint32_t number)
{
    RegistryItem item = SplitRegistryPath(itemPath);
    OpenRegistryKey key(registry);
    if (!OpenForWriting(key, root, item.keyPath.Data()))
        return false;
    unsigned char littleEndian[4] = {
        static_cast<unsigned char>(number), static_cast<unsigned char>(number >> 8),
        static_cast<unsigned char>(number >> 16), static_cast<unsigned char>(number >> 24)};
    return registry.SetValue(key.Get(), item.valueName.Data(), RegistryTypeNumber, littleEndian, 4);
}

bool DeleteRegistryItem(RegistryApi& registry, RegistryRoot root, const char* itemPath)
{
    RegistryItem item = SplitRegistryPath(itemPath);
    bool deletedValue = false;
    {
        OpenRegistryKey key(registry);
        if (key.Open(root, item.keyPath.Data(), RegistryAccess::Write))
            deletedValue = registry.DeleteValue(key.Get(), item.valueName.Data());
    }
    if (deletedValue)
        return true;
    // No such value: the item path may name a key of its own.
    return registry.DeleteKey(root, itemPath);
}
