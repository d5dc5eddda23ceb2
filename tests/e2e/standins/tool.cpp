// One stand-in for the console tools of the System folder that Wine lacks or that a test must
// control (DEFRAG.EXE, CHKDSK.EXE, ...): the same program is installed under each name. It
// records the call in the journal, says on the console what it was asked, waits when told to,
// and exits with the code the test chose (see journal.h).
#include "journal.h"

#include <cstdio>

int main() {
    std::string tool = standin::ToolName();
    standin::Settings settings = standin::ReadSettings(tool);
    standin::AppendJournal(tool, std::to_string(settings.exitCode));
    if (settings.text.empty())
        std::printf("%s stand-in: %s\n", tool.c_str(), standin::Utf8(GetCommandLineW()).c_str());
    else
        std::printf("%s\n", settings.text.c_str());
    std::fflush(stdout);
    if (settings.sleepMs) Sleep(settings.sleepMs);
    return settings.exitCode;
}
