// repdrive: a custom command per drive, or once for all drives, put in the list or run at once.
#include "planner/rnsrun.h"

#include "runlog.h"
#include "settings.h"

namespace {

const char kLogModule[] = "repdrive";

// Every "%s" replaced by the text. A plain search is safe in Shift-JIS: '%' is never a trail byte,
// so the 's' after a real '%' is a real 's' too. No printf: other '%' in the template stay as they are.
std::string ReplaceDrive(const std::string &templ, const std::string &drives) {
    std::string result;
    size_t from = 0;
    for (size_t at = templ.find("%s"); at != std::string::npos; at = templ.find("%s", from)) {
        result.append(templ, from, at - from).append(drives);
        from = at + 2;
    }
    return result.append(templ, from, std::string::npos);
}

} // namespace

std::vector<std::string> ExpandPerDrive(const std::string &templ, bool allInOne, DWORD mask) {
    mask = ResolveDriveMask(mask);
    std::vector<std::string> commands;
    std::string all;
    for (int i = 0; i < 26; ++i) {
        if (!(mask & (1u << i))) continue;
        std::string drive{char('A' + i), ':'};
        if (!allInOne)
            commands.push_back(ReplaceDrive(templ, drive));
        else
            all += (all.empty() ? "" : " ") + drive;
    }
    if (allInOne && !all.empty()) commands.push_back(ReplaceDrive(templ, all));
    return commands;
}

void AppendPerDrive(const std::string &templ, bool allInOne, DWORD mask) {
    for (const std::string &command : ExpandPerDrive(templ, allInOne, mask))
        AppendCommand(command);
}

void RunPerDrive(const std::string &templ, bool allInOne, DWORD mask) {
    for (const std::string &command : ExpandPerDrive(templ, allInOne, mask)) {
        RUNLOG(command.c_str());
        RunCommandLine(command.c_str());
    }
}
