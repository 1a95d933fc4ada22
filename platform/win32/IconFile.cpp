#include "platform/win32/IconFile.h"

#include <string.h>

namespace {

const size_t DirectoryHeaderBytes = 6;
const size_t DirectoryEntryBytes = 16;

DWORD ReadDword(const unsigned char* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<DWORD>(p[3]) << 24; }

}  // namespace

HICON CreateIconFromIconFile(IconFileBytes file)
{
    if (!file.data || file.size < DirectoryHeaderBytes + DirectoryEntryBytes)
        return nullptr;
    const unsigned char* entry = file.data + DirectoryHeaderBytes;
    DWORD imageBytes = ReadDword(entry + 8);
    DWORD imageOffset = ReadDword(entry + 12);
    if (imageOffset > file.size || imageBytes > file.size - imageOffset || imageBytes < sizeof(BITMAPINFOHEADER))
        return nullptr;

    // CreateIconFromResourceEx may write to the bits; give it its own copy,
    // aligned for the bitmap header.
    BITMAPINFOHEADER header;
    memcpy(&header, file.data + imageOffset, sizeof header);
    if (header.biSize < sizeof header || header.biWidth <= 0 || header.biHeight <= 0)
        return nullptr;
    HANDLE heap = GetProcessHeap();
    void* image = HeapAlloc(heap, 0, imageBytes);
    if (!image)
        return nullptr;
    memcpy(image, file.data + imageOffset, imageBytes);
    HICON icon = CreateIconFromResourceEx(static_cast<PBYTE>(image), imageBytes, TRUE, 0x00030000,
                                          header.biWidth, header.biHeight / 2, LR_DEFAULTCOLOR);
    HeapFree(heap, 0, image);
    return icon;
}
