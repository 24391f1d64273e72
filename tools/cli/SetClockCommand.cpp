// orvex-dl set-clock: sets the logger's clock to now or to a given date and time, as
// the Correct Time dialog does.

#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"
#include "tools/cli/ConfigCli.h"

#include "base/Clock.h"
#include "base/LocalTime.h"
#include "link/ConfigCommands.h"

#include <cstdio>

namespace {

const char* const kUsage =
    "Usage: orvex-dl set-clock --port|-p DEVICE (--now | \"YYYY-MM-DD HH:MM:SS\")\n"
    "                          [--timeout SECONDS]\n\n"
    "Sets the clock of the logger on DEVICE (e.g. /dev/ttyUSB0) to the local time now, or\n"
    "to the date and time given (years 2000 to 2099). The search for the logger goes on\n"
    "for up to --timeout seconds (default 10); the acknowledgement is awaited for 2 s.\n"
    "Exit codes: 0 acknowledged, 2 usage or an impossible date, 3 no logger,\n"
    "6 no acknowledgement.\n";

int RunSetClock(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const auto parsed = ParseCliArgs("set-clock", args,
                                     {{{"--port", "-p"}, true}, {{"--timeout"}, true}, {{"--now"}}},
                                     0, 2, kUsage, exitCode);
    if (!parsed)
        return exitCode;
    auto usage = [](const QString& what) {
        CliUsageError("set-clock", what, kUsage);
        return CliExit::Usage;
    };
    const QString device = parsed->Value("--port");
    const std::optional<int> searchMs = ConfigSearchLimitMs("set-clock", *parsed, kUsage);
    if (!searchMs)
        return CliExit::Usage;
    if (device.isEmpty())
        return usage(QStringLiteral("--port is required"));
    const bool now = parsed->Has("--now");
    if (now == !parsed->files.isEmpty())
        return usage(QStringLiteral("give either --now or a date and time"));

    // The date and time as one argument, or as two ("2026-12-08" "01:02:03").
    const QString text = now ? FormatLocal(SystemClock().Now(), "%Y-%m-%d %H:%M:%S")
                             : parsed->files.join(QLatin1Char(' '));
    QString error;
    const std::optional<Config::ClockValues> v = Config::ParseClockText(text, &error);
    if (!v) {
        std::fprintf(stderr, "orvex-dl set-clock: %s\n", qPrintable(error));
        return CliExit::Usage;
    }
    std::fprintf(stderr, "Setting the clock to %04d-%02d-%02d %02d:%02d:%02d\n", v->year, v->month,
                 v->day, v->hour, v->minute, v->second);
    return SendConfigCommand("set-clock", device, LinkDialog::CorrectTime,
                             Config::BuildSetClockCommand(*v), *searchMs);
}

CliRegistration reg({"set-clock", "set the logger's clock to now or to a given time", RunSetClock});

} // namespace
