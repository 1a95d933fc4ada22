#include "platform/Path.h"

long LastBackslash(const char* text)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    long last = -1;
    for (long i = 0; bytes[i];) {
        if (bytes[i] >= 0x80) {
            if (!bytes[i + 1])
                break;
            i += 2;
            continue;
        }
        if (bytes[i] == '\\')
            last = i;
        ++i;
    }
    return last;
}

Text DirectoryOf(const Text& path)
{
    long last = LastBackslash(path.Data());
    return last < 0 ? Text() : Text(path.Data(), static_cast<size_t>(last) + 1);
}
