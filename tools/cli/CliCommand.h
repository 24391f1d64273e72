#pragma once
// Sub-commands of orvex-dl. Each lives in its own file and registers itself with
// a static CliRegistration, so adding one touches no other file.

#include <QStringList>

#include <functional>

// Exit codes for scripts.
namespace CliExit {
inline constexpr int Ok = 0;
inline constexpr int Failure = 1;     // the operation failed (message on stderr)
inline constexpr int Usage = 2;       // bad arguments
inline constexpr int NoLogger = 3;    // no logger answered on the port
inline constexpr int LoggerBusy = 4;  // the logger is logging now
inline constexpr int NoData = 5;      // the logger holds no data
inline constexpr int Interrupted = 6; // communication interruption
inline constexpr int BadFile = 7;     // a file is missing, unreadable or damaged
} // namespace CliExit

struct CliCommand {
    const char* name;
    const char* synopsis; // one line for the overall --help
    // Arguments after the sub-command name; returns the exit code.
    std::function<int(const QStringList& args)> run;
};

struct CliRegistration {
    explicit CliRegistration(CliCommand command);
};
