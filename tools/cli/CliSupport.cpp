#include "tools/cli/CliSupport.h"

#include "data/MeasurementSet.h"
#include "data/StdataFile.h"
#include "tools/cli/CliCommand.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cstdio>

void CliUsageError(const char* command, const QString& what, const char* usage) {
    std::fprintf(stderr, "orvex-dl %s: %s\n\n%s", command, qPrintable(what), usage);
}

std::optional<CliArgs> ParseCliArgs(const char* command, const QStringList& args,
                                    const std::vector<CliOption>& options, int minFiles,
                                    int maxFiles, const char* usage, int& exitCode) {
    exitCode = CliExit::Usage;
    CliArgs out;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& a = args[i];
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            std::fputs(usage, stdout);
            exitCode = CliExit::Ok;
            return std::nullopt;
        }
        const CliOption* option = nullptr;
        for (const CliOption& o : options)
            if (o.names.contains(a))
                option = &o;
        if (option) {
            const QString& key = option->names.first();
            if (!option->takesValue) {
                out.flags << key;
            } else if (i + 1 >= args.size()) {
                CliUsageError(command, QStringLiteral("%1 needs a value").arg(a), usage);
                return std::nullopt;
            } else {
                out.values[key] = args[++i];
            }
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            CliUsageError(command, QStringLiteral("unknown option '%1'").arg(a), usage);
            return std::nullopt;
        } else if (out.files.size() < maxFiles) {
            out.files << a;
        } else {
            CliUsageError(command, QStringLiteral("unexpected argument '%1'").arg(a), usage);
            return std::nullopt;
        }
    }
    if (out.files.size() < minFiles) {
        CliUsageError(command, QStringLiteral("no input file"), usage);
        return std::nullopt;
    }
    exitCode = CliExit::Ok;
    return out;
}

QString PrintableTag(const QString& tag) {
    // Enough to recognise a tag of ours or a kind of file; the rest is cut.
    constexpr qsizetype kShown = 32;
    QString out;
    for (qsizetype i = 0; i < std::min(tag.size(), kShown); ++i) {
        const char16_t c = tag[i].unicode();
        // C0 and C1 controls (and DEL) could move the cursor, recolour or clear the
        // terminal the message lands on.
        if ((c >= 0x20 && c < 0x7f) || c >= 0xa0)
            out += tag[i];
        else
            out += QStringLiteral("\\x%1").arg(int(c), 2, 16, QLatin1Char('0'));
    }
    if (tag.size() > kShown)
        out += QStringLiteral("...");
    return out;
}

int LoadStoredMeasurement(const char* command, const QString& path, MeasurementSet& set) {
    QString tag;
    QString error;
    bool opened = false;
    const StdataStatus status = LoadStdataFileDetailed(path, set, &tag, &error, &opened);
    if (!opened) {
        std::fprintf(stderr, "orvex-dl %s: cannot open %s: %s\n", command, qPrintable(path),
                     qPrintable(error));
        return CliExit::BadFile;
    }
    if (status == StdataStatus::WrongTag) {
        std::fprintf(stderr,
                     "orvex-dl %s: %s: Invalid Format! (tag \"%s\"; only stored RMS/TR "
                     "measurements, tag \"%s\", can be used)\n",
                     command, qPrintable(path), qPrintable(PrintableTag(tag)), kTagStored);
        return CliExit::BadFile;
    }
    if (status == StdataStatus::Damaged) {
        std::fprintf(stderr, "orvex-dl %s: %s: %s\n", command, qPrintable(path), qPrintable(error));
        return CliExit::BadFile;
    }
    return CliExit::Ok;
}

QString OutputProblem(const QString& output) {
    const QFileInfo target(output);
    if (target.isDir())
        return QStringLiteral("%1 is a folder").arg(output);
    const QString folder = target.absolutePath();
    const QFileInfo dir(folder);
    if (!dir.exists())
        return QStringLiteral("the folder %1 does not exist").arg(folder);
    if (!dir.isDir())
        return QStringLiteral("%1 is not a folder").arg(folder);
    // Rights alone say little (root may write anywhere but on a read-only mount):
    // a file actually created there does.
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".orvex-dl-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("cannot write into the folder %1: %2")
            .arg(folder, probe.errorString());
    return {};
}

PromptAnswer CliPrompts::Message(const QString& text, PromptIcon, PromptButtons buttons) {
    std::fprintf(stderr, "%sorvex-dl: %s\n", m_midLine ? "\n" : "", qPrintable(text));
    m_midLine = false;
    return buttons == PromptButtons::Ok || buttons == PromptButtons::OkCancel ? PromptAnswer::Ok
                                                                              : PromptAnswer::No;
}
