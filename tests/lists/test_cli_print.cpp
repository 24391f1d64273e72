// orvex-dl print and export --csv on real files, the PDF read back as text.

#include "ListSamples.h"

#include "data/RtdataFile.h"
#include "data/StdataFile.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace lists;

namespace {

int Cli(const QStringList& args, QByteArray* err = nullptr) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(ORVEX_DL), args);
    if (!p.waitForFinished(120000))
        return -1;
    if (err)
        *err = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

class CliPrint : public ::testing::Test {
protected:
    CliPrint() {
        file = dir.filePath("m.stdata");
        QString error;
        EXPECT_TRUE(SaveStdataFile(file, Stored(56, true, true, 2), &error)) << error.toStdString();
    }
    QTemporaryDir dir;
    QString file;
};

} // namespace

TEST_F(CliPrint, ListGraphAndTransientReportsAsPdf) {
    const QString list = dir.filePath("list.pdf");
    ASSERT_EQ(Cli({"print", file, "-o", list, "--list"}), 0);
    QStringList pages = PdfPages(list);
    ASSERT_EQ(pages.size(), 2);
    EXPECT_TRUE(pages[0].contains("Test Report"));
    EXPECT_EQ(RowLines(pages[1]), 1);
    EXPECT_TRUE(pages[1].contains("page2"));

    const QString tr = dir.filePath("tr.pdf");
    ASSERT_EQ(Cli({"print", file, "-o", tr, "--list", "--tr", "2", "--page-size", "Letter"}), 0);
    pages = PdfPages(tr);
    ASSERT_EQ(pages.size(), 5);
    EXPECT_EQ(RowLines(pages[4]), 11);
    EXPECT_FALSE(pages[0].contains("MODE:"));

    const QString graph = dir.filePath("graph.pdf");
    ASSERT_EQ(Cli({"print", file, "-o", graph}), 0);
    pages = PdfPages(graph);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains("MODE: STORE RMS"));
}

TEST_F(CliPrint, BadArgumentsExit2AndBadFilesExit7) {
    const QString out = dir.filePath("x.pdf");
    EXPECT_EQ(Cli({"print", file}), 2);                         // no -o
    EXPECT_EQ(Cli({"print", file, "-o", out, "--tr", "0"}), 2); // records count from 1
    EXPECT_EQ(Cli({"print", file, "-o", out, "--tr", "x"}), 2);
    EXPECT_EQ(Cli({"print", file, "-o", out, "--page-size", "A3"}), 2);
    EXPECT_EQ(Cli({"print", file, "-o", out, "--bogus"}), 2);
    EXPECT_EQ(Cli({"print", file, "-o", file}), 2); // would replace the input
    QByteArray err;
    EXPECT_EQ(Cli({"print", file, "-o", out, "--tr", "3"}, &err), 7); // only two records
    EXPECT_TRUE(err.contains("2 transient records")) << err.toStdString();
    EXPECT_EQ(Cli({"print", dir.filePath("missing.stdata"), "-o", out}), 7);
    QFile junk(dir.filePath("junk.stdata"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a measurement");
    junk.close();
    EXPECT_EQ(Cli({"print", junk.fileName(), "-o", out}), 7);
    EXPECT_EQ(Cli({"export", junk.fileName(), "--csv", "-o", dir.filePath("j.csv")}), 7);
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(CliPrint, ExportCsvWritesTheStoredRmsRows) {
    const QString csv = dir.filePath("m.csv");
    ASSERT_EQ(Cli({"export", file, "--csv", "-o", csv}), 0);
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    ASSERT_EQ(lines.size(), 58); // header, 56 rows, the empty rest after the last CRLF
    EXPECT_EQ(lines[0], "no,time,ch1,ch1_unit,ch2,ch2_unit\r");
    // The child runs in this process's time zone.
    EXPECT_EQ(lines[1], "1," + IsoLocalTime(kStart).toLatin1() + ",230,V,5,A\r");
    // Without -o the CSV goes beside the input.
    ASSERT_EQ(Cli({"export", file, "--csv"}), 0);
    EXPECT_TRUE(QFile::exists(dir.filePath("m.csv")));
}

TEST_F(CliPrint, RunFileGraphAndListWithTheExtremesAtTheirSamplesOwnTimes) {
    setenv("TZ", "Europe/Berlin", 1); // the tool inherits it
    tzset();
    // Three samples 2 s apart with a skipped tick before the third.
    RtdataImage run;
    run.interval = 2;
    run.startTime = 1796735102; // 08/12/26 14:05:02 in Berlin
    run.kind = {kChannelVolts, kChannelAmps};
    run.times = {1796735102, 1796735104, 1796735108};
    run.rms[0] = {230.0f, 231.5f, 229.0f};
    run.rms[1] = {10.0f, 10.0f, 10.0f};
    run.freq[0] = {50.0f, 50.0f, 50.0f};
    run.freq[1] = {50.0f, 50.0f, 50.0f};
    const QString input = dir.filePath("run.rtdata");
    QString error;
    ASSERT_TRUE(SaveRtdataFile(input, run, nullptr, &error)) << error.toStdString();

    const QString graph = dir.filePath("run-graph.pdf");
    QByteArray err;
    ASSERT_EQ(Cli({"print", input, "-o", graph}, &err), 0) << err.toStdString();
    QStringList pages = PdfPages(graph);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains("MODE: REAL TIME RMS")) << pages[0].toStdString();
    EXPECT_TRUE(pages[0].contains("CH1 DATA MAX: 231.5 @08/12/26 14:05:04"))
        << pages[0].toStdString();
    EXPECT_TRUE(pages[0].contains("CH1 DATA MIN: 229.0 @08/12/26 14:05:08"))
        << pages[0].toStdString();

    const QString list = dir.filePath("run-list.pdf");
    ASSERT_EQ(Cli({"print", input, "-o", list, "--list"}), 0);
    pages = PdfPages(list);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains("Test Report"));
    EXPECT_TRUE(pages[0].contains("DATANO: 3"));
    EXPECT_EQ(RowLines(pages[0]), 3);

    EXPECT_EQ(Cli({"print", input, "-o", dir.filePath("x.pdf"), "--tr", "1"}), 2);
    EXPECT_EQ(Cli({"print", input, "-o", dir.filePath("x.pdf"), "--statistics"}), 2);
    EXPECT_EQ(Cli({"print", input, "-o", input}), 2);
    EXPECT_FALSE(QFile::exists(dir.filePath("x.pdf")));
}
