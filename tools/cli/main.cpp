// orvex-dl: the command-line tool. The same link and data code as the desktop
// application, without windows, for automation.

#include "tools/cli/CliCommand.h"

#include "base/DataDir.h"
#include "base/SafeFile.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <map>
#include <memory>
#include <string>

namespace {

std::map<std::string, CliCommand>& Registry() {
    static std::map<std::string, CliCommand> commands;
    return commands;
}

void PrintUsage(FILE* out) {
    std::fprintf(out, "Usage: orvex-dl <command> [options]\n\nCommands:\n");
    for (const auto& [name, c] : Registry())
        std::fprintf(out, "  %-10s %s\n", name.c_str(), c.synopsis);
    std::fprintf(out, "\nRun 'orvex-dl <command> --help' for a command's options.\n"
                      "Exit codes: 0 ok, 1 failure, 2 usage, 3 no logger, 4 logger busy logging,\n"
                      "5 no data in the logger, 6 communication interruption, 7 bad file.\n");
}

} // namespace

CliRegistration::CliRegistration(CliCommand command) {
    Registry().emplace(command.name, std::move(command));
}

int main(int argc, char** argv) {
    // Printing lays out text, which needs the GUI application's fonts; the
    // offscreen platform needs no display. Every other command stays a console one.
    const bool gui = argc > 1 && std::string(argv[1]) == "print";
    if (gui && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> appHolder(gui ? new QGuiApplication(argc, argv)
                                                    : new QCoreApplication(argc, argv));
    QCoreApplication::setApplicationName(QStringLiteral("orvex-dl"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
    // Temporary files of saves that an earlier run could not finish go first.
    StartSaveJournal(DataDirectory());
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        PrintUsage(stderr);
        return CliExit::Usage;
    }
    const QString name = args.takeFirst();
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        PrintUsage(stdout);
        return CliExit::Ok;
    }
    if (name == QLatin1String("--version")) {
        std::printf("orvex-dl 1.0\n");
        return CliExit::Ok;
    }
    auto it = Registry().find(name.toStdString());
    if (it == Registry().end()) {
        std::fprintf(stderr, "orvex-dl: unknown command '%s'\n\n", qPrintable(name));
        PrintUsage(stderr);
        return CliExit::Usage;
    }
    return it->second.run(args);
}
