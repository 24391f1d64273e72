#pragma once
// Helpers shared by the orvex-dl sub-commands: argument parsing with one wording
// for every usage error, and reading a stored measurement with one wording for
// every bad file.

#include "base/Prompts.h"

#include <QString>
#include <QStringList>

class MeasurementSet;

#include <map>
#include <optional>
#include <vector>

struct CliOption {
    QStringList names; // e.g. {"-o", "--output"}; the first is the key
    bool takesValue = false;
};

struct CliArgs {
    QStringList files;
    std::map<QString, QString> values; // by the option's first name
    QStringList flags;                 // first names of the flags given

    bool Has(const QString& name) const { return values.count(name) || flags.contains(name); }
    QString Value(const QString& name) const {
        auto it = values.find(name);
        return it == values.end() ? QString() : it->second;
    }
};

// Parses `args` of sub-command `command`, which takes `minFiles` to `maxFiles`
// file names. Returns nothing when the sub-command should end at once with
// `exitCode`: after printing the usage text for "--help"/"-h" (CliExit::Ok), or
// after printing "orvex-dl <command>: <what>" and the usage text to stderr
// (CliExit::Usage).
std::optional<CliArgs> ParseCliArgs(const char* command, const QStringList& args,
                                    const std::vector<CliOption>& options, int minFiles,
                                    int maxFiles, const char* usage, int& exitCode);
// Prints a usage error as ParseCliArgs does.
void CliUsageError(const char* command, const QString& what, const char* usage);

// Reads a stored RMS/TR measurement file for sub-command `command`. Returns
// CliExit::Ok, or CliExit::BadFile after saying on stderr why the file cannot be
// used (missing, unreadable, damaged, or not a stored measurement).
int LoadStoredMeasurement(const char* command, const QString& path, MeasurementSet& set);

// A tag read from a file, as a message may show it: control characters escaped
// (\x1b), at most 32 characters and "..." after a longer one. A file that is not
// ours can hold anything where the tag belongs.
QString PrintableTag(const QString& tag);

// Why `output` cannot be written, or empty when it can: checked before a transfer,
// so that nothing is fetched from the logger for a file that cannot be written.
QString OutputProblem(const QString& output);

// What the link tells or asks on the command line: every message goes to stderr as
// "orvex-dl: <text>" on a line of its own; a question is answered Ok where Ok is
// offered and No otherwise; no file is ever chosen.
class CliPrompts : public Prompts {
public:
    PromptAnswer Message(const QString& text, PromptIcon, PromptButtons buttons) override;
    QString ChooseOpenFile(const QString&, const QString&) override { return {}; }
    QString ChooseSaveFile(const QString&, const QString&, const QString&) override { return {}; }
    void SetWaitCursor(bool) override {}

    // A progress line without its line end stands on stderr: the next message first
    // ends it.
    void SetMidLine(bool midLine) { m_midLine = midLine; }
    bool MidLine() const { return m_midLine; }

private:
    bool m_midLine = false;
};
