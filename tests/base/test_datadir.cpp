// Where the settings and the previous measurement go, in a temporary HOME.

#include "base/DataDir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <iterator>
#include <vector>

namespace {

// Sets HOME and the variables DataDir reads for one test; restores them after.
class DataDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_home.isValid());
        for (const char* v : kVariables) {
            m_saved.push_back(qgetenv(v));
            m_wasSet.push_back(qEnvironmentVariableIsSet(v));
            qunsetenv(v);
        }
        qputenv("HOME", m_home.path().toLocal8Bit());
    }
    void TearDown() override {
        for (size_t i = 0; i < std::size(kVariables); ++i) {
            if (m_wasSet[i])
                qputenv(kVariables[i], m_saved[i]);
            else
                qunsetenv(kVariables[i]);
        }
    }
    QString Home(const QString& rest) const { return m_home.path() + QLatin1Char('/') + rest; }
    static void Write(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(path.section(QLatin1Char('/'), 0, -2));
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    static QByteArray Read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    static constexpr const char* kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                                 "DATALOGGER_DIR"};
    QTemporaryDir m_home;
    std::vector<QByteArray> m_saved;
    std::vector<bool> m_wasSet;
};

#ifndef _WIN32
TEST_F(DataDirTest, DefaultsFollowTheBaseDirectoriesUnderHome) {
    EXPECT_EQ(SettingsFilePath(), Home(".config/OrvexDatalogger/LumoDATALOGGER.ini"));
    EXPECT_EQ(PreviousMeasurementFilePath(),
              Home(".local/share/OrvexDatalogger/PreMeasureLumo.stdata"));
    // The folders exist, so the first save can go straight to its file.
    EXPECT_TRUE(QDir(Home(".config/OrvexDatalogger")).exists());
    EXPECT_TRUE(QDir(Home(".local/share/OrvexDatalogger")).exists());
}

TEST_F(DataDirTest, XdgVariablesMoveEachFileAndRelativeOnesAreIgnored) {
    qputenv("XDG_CONFIG_HOME", Home("cfg").toLocal8Bit());
    qputenv("XDG_DATA_HOME", Home("dat").toLocal8Bit());
    EXPECT_EQ(SettingsFilePath(), Home("cfg/OrvexDatalogger/LumoDATALOGGER.ini"));
    EXPECT_EQ(PreviousMeasurementFilePath(), Home("dat/OrvexDatalogger/PreMeasureLumo.stdata"));
    qputenv("XDG_CONFIG_HOME", "relative/cfg");
    qputenv("XDG_DATA_HOME", "relative/dat");
    EXPECT_EQ(SettingsFilePath(), Home(".config/OrvexDatalogger/LumoDATALOGGER.ini"));
    EXPECT_EQ(PreviousMeasurementFilePath(),
              Home(".local/share/OrvexDatalogger/PreMeasureLumo.stdata"));
}

TEST_F(DataDirTest, OldPreviousMeasurementMovesOnceAndNeverOverwritesANewerOne) {
    const QString old = Home(".config/OrvexDatalogger/PreMeasureLumo.stdata");
    const QString now = Home(".local/share/OrvexDatalogger/PreMeasureLumo.stdata");
    Write(old, "old recording");
    EXPECT_EQ(PreviousMeasurementFilePath(), now);
    EXPECT_EQ(Read(now), "old recording");
    EXPECT_FALSE(QFile::exists(old));

    // A file that shows up at the old place later (an older version run again)
    // does not replace the one already moved.
    Write(old, "older version wrote again");
    Write(now, "newer recording");
    EXPECT_EQ(PreviousMeasurementFilePath(), now);
    EXPECT_EQ(Read(now), "newer recording");
    EXPECT_EQ(Read(old), "older version wrote again");
}
#endif

TEST_F(DataDirTest, DataloggerDirHoldsBothFilesAndNothingMoves) {
    qputenv("XDG_CONFIG_HOME", Home("cfg").toLocal8Bit());
    qputenv("XDG_DATA_HOME", Home("dat").toLocal8Bit());
    qputenv("DATALOGGER_DIR", Home("forced/").toLocal8Bit());
    Write(Home("forced/PreMeasureLumo.stdata"), "kept");
    EXPECT_EQ(SettingsFilePath(), Home("forced/LumoDATALOGGER.ini"));
    EXPECT_EQ(PreviousMeasurementFilePath(), Home("forced/PreMeasureLumo.stdata"));
    EXPECT_EQ(Read(Home("forced/PreMeasureLumo.stdata")), "kept");
    EXPECT_FALSE(QDir(Home("dat")).exists());
}

} // namespace
