// KORVLOG's reading of its own command line, kept apart from the program so it can be tested.
#pragma once

#include <string>

// What the tool's command line is, or why there is none.
struct KorvlogCommand {
    char switchLetter = 0;   // 'p' or 'c' as given (lower case); 0 when the command line is unusable
    std::string commandLine; // the tool's command line, from its program name on
    std::string error;       // for the user when switchLetter is 0
};

constexpr int kExitUsage = 2;
// What CMD answers for a command it cannot find; the planner's log shows it as the tool's result.
constexpr int kExitCannotStart = 9009;

// Splits KORVLOG's command line as GetCommandLineA gives it: its own name, the switch, one blank,
// and the tool's command line (further leading blanks are dropped so the tool's name comes first).
KorvlogCommand ParseKorvlogCommandLine(const char *raw);
// The program a command line starts, without quotes, for the message when it cannot be started.
std::string ProgramOfCommandLine(const std::string &commandLine);
