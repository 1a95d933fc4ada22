#pragma once
#include "platform/Registry.h"
#include "platform/Text.h"

// Where the two options live, under HKEY_LOCAL_MACHINE.
extern const char* const RunValuePath;    // start with Windows: the program's path
extern const char* const ExitOptionPath;  // exit after a successful calibration: 1 or 0

struct Options {
    bool autoStart = false;
    bool exitAfterCalibration = false;
};

// The two options: loaded once when the window is made, saved at every
// click. Registry failures are silent by design; a box the registry would
// not take shows its old state at the next start.
class Settings {
public:
    Settings(RegistryApi& registry, const Text& programPath) : registry_(registry), programPath_(programPath) {}

    Options LoadOptions();
    void SaveAutoStart(bool checked);
    void SaveExitOption(bool checked);

private:
    RegistryApi& registry_;
    const Text& programPath_;
};

// The Run value for a program path: quoted when it holds a blank, so that
// Windows cannot start "C:\Program.exe" instead.
Text AutoStartCommand(const Text& programPath);
