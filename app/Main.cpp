// Start-up, the message loop, and the ordinary end of the program.
#include <utility>

#include "app/MainWindow.h"
#include "platform/Path.h"

namespace {

// The C-runtime-level hook for a failed request for memory has no context
// of its own; it ends the program through the one window.
MainWindow* runningWindow = nullptr;

[[noreturn]] void OnOutOfMemory(size_t bytes)
{
    // The message itself needs memory; failing again ends without it.
    static bool reporting = false;
    if (reporting)
        ExitProcess(static_cast<UINT>(-1));
    reporting = true;
    Text message = OutOfMemoryMessage(static_cast<long>(bytes));
    if (runningWindow)
        runningWindow->RaiseFatalError(message);
    ShowFatalErrorBox(message);
    ExitProcess(static_cast<UINT>(-1));
}

Text ProgramPath()
{
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    return Text(path, length < sizeof path ? length : sizeof path - 1);
}

}  // namespace

int RunMessageLoop(MainWindow& main)
{
    MSG message;
    for (;;) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            return static_cast<int>(message.wParam);
        if (got == -1)
            return 0;
        if (PreTranslateMessage(main, message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    SetOutOfMemoryHandler(OnOutOfMemory);

    // Relative paths, should any come up, resolve beside the program.
    Text programPath = ProgramPath();
    SetCurrentDirectoryA(DirectoryOf(programPath).Data());

    MainWindow main(instance, std::move(programPath));
    runningWindow = &main;
    if (!BuildMainWindow(main))
        main.RaiseFatalError(Text("载入启动窗口失败"));

    int exitCode = 0;
    if (main.Handle())
        exitCode = RunMessageLoop(main);
    main.ReleaseAll();
    return exitCode;
}
