// The unattended half of `make run`: starts Vesmor.exe, clicks "开始校准"
// once, prints the status line, and closes the program when told to on
// standard input (after the screenshot was taken).
//
// Output lines: "STATUS <text, UTF-8, line breaks as \n>", "RECT l t r b",
// "EXIT <code>".
#include <cstdio>
#include <iostream>
#include <string>

#include "VesmorProcess.h"

int wmain(int argc, wchar_t** argv)
{
    vesmor::Process vesmor(argc > 1 ? argv[1] : vesmor::ProgramPath());
    if (!vesmor.Started()) {
        std::printf("ERROR Vesmor.exe did not show its window\n");
        return 1;
    }
    std::wstring status = vesmor.CalibrateAndWait();
    std::string printable;
    for (char c : vesmor::Utf8(status)) {
        if (c == '\r')
            continue;
        printable += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    std::printf("STATUS %s\n", printable.c_str());
    RECT place;
    GetWindowRect(vesmor.Window(), &place);
    std::printf("RECT %ld %ld %ld %ld\n", place.left, place.top, place.right, place.bottom);
    std::fflush(stdout);

    std::string line;
    std::getline(std::cin, line);
    PostMessageW(vesmor.Window(), WM_CLOSE, 0, 0);
    DWORD code = vesmor.WaitForExit(10000);
    std::printf("EXIT %lu\n", code);
    std::fflush(stdout);
    return status.empty() ? 1 : 0;
}
