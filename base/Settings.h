#pragma once
// The user's preferences, as held in memory between start-up and close, and their
// settings file (LumoDATALOGGER.ini in the data directory). Read once when the
// main window and the graph view are created, written once at close.

#include <QString>

#include <array>
#include <cstdint>

class IniFile;

inline constexpr int kAxisModes = 11;
inline constexpr int kAxisChannels = 2;

struct AppSettings {
    // TIMEInfo: the last clock values sent to the logger, kept as the text they were
    // read or typed as ("07" stays "07").
    QString m_timeYear = QStringLiteral("2008");
    QString m_timeMonth = QStringLiteral("1");
    QString m_timeDay = QStringLiteral("1");
    QString m_timeHour = QStringLiteral("0");
    QString m_timeMinute = QStringLiteral("0");
    QString m_timeSecond = QStringLiteral("0");
    // SAMPRATEINFO: recording interval count (text) and unit (0 s, 1 min, 2 h).
    QString m_sampRate = QStringLiteral("10");
    int m_sampUnit = 0;
    // LIMITUNITINFO: channel kind of the rise and drop detection levels (0 V, 1 A).
    int m_limit1Unit = 1;
    int m_limit2Unit = 1;
    // ALARMInfo: rise and drop detection levels, text of an integer 0 to 1000.
    QString m_tempHi = QStringLiteral("500");
    QString m_tempLow = QStringLiteral("100");
    // VIEWInfo (graph view).
    uint8_t m_showCh1 = 1;            // VIEW1
    uint8_t m_showCh2 = 1;            // VIEW2
    uint8_t m_viewOption3 = 1;        // VIEW3
    uint8_t m_viewOption4 = 0;        // VIEW4
    uint8_t m_viewOption5 = 0;        // VIEW5
    uint8_t m_viewOption6 = 0;        // VIEW6
    uint8_t m_showMarkPoints = 0;     // VIEW7
    uint8_t m_showVerticalGrid = 1;   // VIEW8, the View dialog's "Y Axis" box
    uint8_t m_showHorizontalGrid = 1; // VIEW9, the View dialog's "X Axis" box
    // YAXISInfo: [mode - 1][channel - 1].
    std::array<std::array<int32_t, kAxisChannels>, kAxisModes> m_yAxisLow{};
    std::array<std::array<int32_t, kAxisChannels>, kAxisModes> m_yAxisHigh{};
    // The P(W) graph's range was never chosen (a settings file from before that
    // graph, or none): the first P(W) graph fits it to its run's data.
    bool m_fitActivePowerAxis = true;
    // ColorInfo: colour indices.
    uint8_t m_bgColor = 13;
    uint8_t m_ch1Color = 0; // TColor
    uint8_t m_ch2Color = 1; // T2Color
    uint8_t m_ch3Color = 3; // T3Color
    uint8_t m_gridColor = 2;
    // AUTOOFF Info: 2 on, 0 off. RECMODE Info: 3 circular logging on, 0 off.
    uint8_t m_autoOff = 0;
    uint8_t m_recMode = 0;
    // RTSAMPRATEINFO: seconds between real-time samples (graph view).
    int m_rtInterval = 2;
    // RTSAMPDATAINFO: real-time samples to take (main frame).
    int m_rtPointsRequested = 3600;

    // STATISTICSInfo: nominal voltage of the supply-voltage summary, text of volts.
    QString m_nominalVoltage = QStringLiteral("230");

    AppSettings();
    static int DefaultAxisLow(int mode);  // mode 1..kAxisModes
    static int DefaultAxisHigh(int mode); // mode 1..kAxisModes
};

// Reads TIMEInfo, SAMPRATEINFO, LIMITUNITINFO, ALARMInfo, ColorInfo, AUTOOFF Info,
// RECMODE Info, RTSAMPDATAINFO and YAXISInfo, in that order.
void LoadFrameSettings(const IniFile& ini, AppSettings& s);
// Reads VIEWInfo, RTSAMPRATEINFO and STATISTICSInfo.
void LoadViewSettings(const IniFile& ini, AppSettings& s);
// Writes every key in table order into `ini`, keeping the file's other lines.
void StoreAllSettings(IniFile& ini, const AppSettings& s);

// File-level helpers: a missing or unreadable file gives the defaults; a failed
// write keeps the old file and returns false with `error` saying why.
AppSettings LoadSettingsFile(const QString& path);
bool SaveSettingsFile(const QString& path, const AppSettings& s, QString* error = nullptr);
