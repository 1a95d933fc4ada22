// SplitRegistryPath on any zero-terminated bytes: the two parts always put
// the item path back together, and the value name holds no backslash of its
// own.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "platform/Path.h"
#include "settings/Registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Text path(reinterpret_cast<const char*>(data), size);
    const char* itemPath = path.Data();  // cut at the first zero byte, as a C string
    size_t length = strlen(itemPath);

    RegistryItem item = SplitRegistryPath(itemPath);
    Text joined = item.keyPath.Copy();
    if (LastBackslash(itemPath) >= 0)
        joined.Append("\\");
    joined.Append(item.valueName);
    if (joined.Length() != length || memcmp(joined.Data(), itemPath, length) != 0)
        __builtin_trap();
    if (LastBackslash(item.valueName.Data()) >= 0)
        __builtin_trap();
    return 0;
}
