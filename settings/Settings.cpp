#include "settings/Settings.h"

#include <string.h>

#include "settings/Registry.h"

const char* const RunValuePath = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run\\Vesmor";
const char* const ExitOptionPath = "SOFTWARE\\time";

Options Settings::LoadOptions()
{
    Options options;
    // Any value of that name counts, whatever it holds.
    options.autoStart = RegistryValueExists(registry_, RegistryRoot::LocalMachine, RunValuePath);
    options.exitAfterCalibration = ReadRegistryNumber(registry_, RegistryRoot::LocalMachine, ExitOptionPath, 0) == 1;
    return options;
}

void Settings::SaveAutoStart(bool checked)
{
    if (checked)
        WriteRegistryText(registry_, RegistryRoot::LocalMachine, RunValuePath, AutoStartCommand(programPath_));
    else
        DeleteRegistryItem(registry_, RegistryRoot::LocalMachine, RunValuePath);
}

void Settings::SaveExitOption(bool checked)
{
    WriteRegistryNumber(registry_, RegistryRoot::LocalMachine, ExitOptionPath, checked ? 1 : 0);
}

Text AutoStartCommand(const Text& programPath)
{
    if (!memchr(programPath.Data(), ' ', programPath.Length()))
        return programPath.Copy();
    Text quoted("\"");
    quoted.Append(programPath);
    quoted.Append("\"");
    return quoted;
}
