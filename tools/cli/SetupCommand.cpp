// orvex-dl setup: sends the logger its recording interval, auto power-off, circular
// logging and detection levels, as the Datalogger Setup dialog does.

#include "tools/cli/CliCommand.h"
#include "tools/cli/CliSupport.h"
#include "tools/cli/ConfigCli.h"

#include "link/ConfigCommands.h"

#include <cstdio>

namespace {

const char* const kUsage =
    "Usage: orvex-dl setup --port|-p DEVICE [--interval N] [--unit s|min|h]\n"
    "                      [--auto-off on|off] [--circular on|off] [--rise N] [--drop N]\n"
    "                      [--timeout SECONDS]\n\n"
    "Sends the recording settings to the logger on DEVICE (e.g. /dev/ttyUSB0). Left out,\n"
    "a setting takes the setup dialog's default: interval 10 s, auto power-off off,\n"
    "circular logging off, rise level 500, drop level 100. The interval is kept in 1 to\n"
    "60 (s, min) or 1 to 24 (h), as the dialog keeps it; a clamped value is said on stderr.\n"
    "The search for the logger goes on for up to --timeout seconds (default 10); the\n"
    "acknowledgement is awaited for 2 s.\n"
    "Exit codes: 0 acknowledged, 2 usage, 3 no logger, 6 no acknowledgement.\n";

bool ParseSwitch(const QString& v, uint8_t on, uint8_t& out) {
    if (v.compare(QLatin1String("on"), Qt::CaseInsensitive) == 0)
        out = on;
    else if (v.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0)
        out = 0;
    else
        return false;
    return true;
}

// The interval unit from its short name: s, min or h.
bool ParseUnit(const QString& u, int& out) {
    if (u == QLatin1String("s"))
        out = Config::kSecond;
    else if (u == QLatin1String("min"))
        out = Config::kMinute;
    else if (u == QLatin1String("h"))
        out = Config::kHour;
    else
        return false;
    return true;
}

int RunSetup(const QStringList& args) {
    int exitCode = CliExit::Ok;
    const auto parsed = ParseCliArgs("setup", args,
                                     {{{"--port", "-p"}, true},
                                      {{"--timeout"}, true},
                                      {{"--interval"}, true},
                                      {{"--unit"}, true},
                                      {{"--auto-off"}, true},
                                      {{"--circular"}, true},
                                      {{"--rise"}, true},
                                      {{"--drop"}, true}},
                                     0, 0, kUsage, exitCode);
    if (!parsed)
        return exitCode;
    auto usage = [](const QString& what) {
        CliUsageError("setup", what, kUsage);
        return CliExit::Usage;
    };
    const QString device = parsed->Value("--port");
    const std::optional<int> searchMs = ConfigSearchLimitMs("setup", *parsed, kUsage);
    if (!searchMs)
        return CliExit::Usage;
    if (device.isEmpty())
        return usage(QStringLiteral("--port is required"));

    Config::SetupValues v;
    if (parsed->Has("--unit") && !ParseUnit(parsed->Value("--unit"), v.unit))
        return usage(QStringLiteral("--unit takes s, min or h"));
    if (parsed->Has("--interval")) {
        bool ok = false;
        const int n = parsed->Value("--interval").toInt(&ok);
        if (!ok)
            return usage(QStringLiteral("--interval takes a whole number"));
        v.intervalCount = Config::ClampInterval(n, v.unit);
        if (v.intervalCount != n)
            std::fprintf(stderr,
                         "orvex-dl setup: interval %d clamped to %d (1 to 60 with s and min, "
                         "1 to 24 with h)\n",
                         n, v.intervalCount);
    }
    if (parsed->Has("--auto-off") &&
        !ParseSwitch(parsed->Value("--auto-off"), Config::kAutoOffOn, v.autoOff))
        return usage(QStringLiteral("--auto-off takes on or off"));
    if (parsed->Has("--circular") &&
        !ParseSwitch(parsed->Value("--circular"), Config::kCircularOn, v.recMode))
        return usage(QStringLiteral("--circular takes on or off"));
    for (const char* name : {"--rise", "--drop"}) {
        if (!parsed->Has(name))
            continue;
        bool ok = false;
        const int n = parsed->Value(name).toInt(&ok);
        if (!ok || n < Config::kLevelMin || n > Config::kLevelMax)
            return usage(QStringLiteral("%1 takes a level from %2 to %3")
                             .arg(name)
                             .arg(Config::kLevelMin)
                             .arg(Config::kLevelMax));
        (QLatin1String(name) == QLatin1String("--rise") ? v.riseLevel : v.dropLevel) = n;
    }
    return SendConfigCommand("setup", device, LinkDialog::Setup, Config::BuildSetupCommand(v),
                             *searchMs);
}

CliRegistration reg({"setup", "send the recording interval and switches to the logger", RunSetup});

} // namespace
