#include "base/Settings.h"

#include "base/IniFile.h"

#include <QFileInfo>

namespace {

const QString kTime = QStringLiteral("TIMEInfo");
const QString kSampRate = QStringLiteral("SAMPRATEINFO");
const QString kLimitUnit = QStringLiteral("LIMITUNITINFO");
const QString kAlarm = QStringLiteral("ALARMInfo");
const QString kView = QStringLiteral("VIEWInfo");
const QString kYAxis = QStringLiteral("YAXISInfo");
const QString kColor = QStringLiteral("ColorInfo");
const QString kAutoOff = QStringLiteral("AUTOOFF Info");
const QString kRecMode = QStringLiteral("RECMODE Info");
const QString kRtRate = QStringLiteral("RTSAMPRATEINFO");
const QString kRtData = QStringLiteral("RTSAMPDATAINFO");
const QString kStatistics = QStringLiteral("STATISTICSInfo");

// Byte-valued keys keep the low 8 bits of what is read.
uint8_t ReadByte(const IniFile& ini, const QString& section, const char* key, int def) {
    return static_cast<uint8_t>(ini.ReadInt(section, QLatin1String(key), def) & 0xFF);
}

// A colour index is a byte naming one of the fifteen colours of the table; a byte
// beyond it (a hand-edited or damaged file) gives that colour's default, not the
// dark red the graph would read it as.
uint8_t ReadColourIndex(const IniFile& ini, const char* key, uint8_t def) {
    constexpr int kNamedColours = 15;
    const uint8_t v = ReadByte(ini, kColor, key, def);
    return v < kNamedColours ? v : def;
}

// A mode or channel number (from 1) as the index of the axis arrays.
size_t AxisIndex(int numberFromOne) {
    return size_t(numberFromOne - 1);
}

QString AxisKey(const char* end, int mode, int channel) {
    return QString::asprintf("YAXIS%s%dCH%d", end, mode, channel);
}

struct ViewKey {
    const char* key;
    uint8_t AppSettings::*member;
    int def;
};

const ViewKey kViewKeys[] = {
    {"VIEW1", &AppSettings::m_showCh1, 1},
    {"VIEW2", &AppSettings::m_showCh2, 1},
    {"VIEW3", &AppSettings::m_viewOption3, 1},
    {"VIEW4", &AppSettings::m_viewOption4, 0},
    {"VIEW5", &AppSettings::m_viewOption5, 0},
    {"VIEW6", &AppSettings::m_viewOption6, 0},
    {"VIEW7", &AppSettings::m_showMarkPoints, 0},
    {"VIEW8", &AppSettings::m_showVerticalGrid, 1},
    {"VIEW9", &AppSettings::m_showHorizontalGrid, 1},
};

} // namespace

// Modes 10 and 11 are P(W) and PF. P(W) starts on the S(VA) range, which bounds it
// (|P| <= S); the first P(W) graph usually fits it to its run instead. A power
// factor lies within -1 .. 1: a reversed current clamp or a generating load reads
// below 0, which a range of 0 .. 1 would hide under the plot.
int AppSettings::DefaultAxisLow(int mode) {
    if (mode == 11)
        return -1;
    return mode <= 5 ? -500 : 0;
}

int AppSettings::DefaultAxisHigh(int mode) {
    if (mode <= 5)
        return 500;
    if (mode == 11)
        return 1;
    return mode == 6 ? 80 : 162500;
}

AppSettings::AppSettings() {
    for (int m = 1; m <= kAxisModes; ++m) {
        m_yAxisLow[AxisIndex(m)].fill(DefaultAxisLow(m));
        m_yAxisHigh[AxisIndex(m)].fill(DefaultAxisHigh(m));
    }
}

void LoadFrameSettings(const IniFile& ini, AppSettings& s) {
    const AppSettings d;
    s.m_timeYear = ini.ReadString(kTime, QStringLiteral("YEAR"), d.m_timeYear);
    s.m_timeMonth = ini.ReadString(kTime, QStringLiteral("MONTH"), d.m_timeMonth);
    s.m_timeDay = ini.ReadString(kTime, QStringLiteral("DAY"), d.m_timeDay);
    s.m_timeHour = ini.ReadString(kTime, QStringLiteral("HOUR"), d.m_timeHour);
    s.m_timeMinute = ini.ReadString(kTime, QStringLiteral("MINUTE"), d.m_timeMinute);
    s.m_timeSecond = ini.ReadString(kTime, QStringLiteral("SECOND"), d.m_timeSecond);
    s.m_sampRate = ini.ReadString(kSampRate, QStringLiteral("SAMPRATE"), d.m_sampRate);
    s.m_sampUnit = ini.ReadInt(kSampRate, QStringLiteral("SAMPUNIT"), d.m_sampUnit);
    s.m_limit1Unit = ini.ReadInt(kLimitUnit, QStringLiteral("LIMIT1UNIT"), d.m_limit1Unit);
    s.m_limit2Unit = ini.ReadInt(kLimitUnit, QStringLiteral("LIMIT2UNIT"), d.m_limit2Unit);
    s.m_tempHi = ini.ReadString(kAlarm, QStringLiteral("TEMPHI"), d.m_tempHi);
    s.m_tempLow = ini.ReadString(kAlarm, QStringLiteral("TEMPLOW"), d.m_tempLow);
    s.m_bgColor = ReadColourIndex(ini, "BGColor", d.m_bgColor);
    s.m_ch1Color = ReadColourIndex(ini, "TColor", d.m_ch1Color);
    s.m_ch2Color = ReadColourIndex(ini, "T2Color", d.m_ch2Color);
    s.m_ch3Color = ReadColourIndex(ini, "T3Color", d.m_ch3Color);
    s.m_gridColor = ReadColourIndex(ini, "GRIDColor", d.m_gridColor);
    s.m_autoOff = ReadByte(ini, kAutoOff, "AUTOOFF", d.m_autoOff);
    s.m_recMode = ReadByte(ini, kRecMode, "RECMODE", d.m_recMode);
    s.m_rtPointsRequested = ini.ReadInt(kRtData, QStringLiteral("SAMPDATA"), d.m_rtPointsRequested);
    for (int m = 1; m <= kAxisModes; ++m)
        for (int c = 1; c <= kAxisChannels; ++c) {
            s.m_yAxisLow[AxisIndex(m)][AxisIndex(c)] =
                ini.ReadInt(kYAxis, AxisKey("LOW", m, c), AppSettings::DefaultAxisLow(m));
            s.m_yAxisHigh[AxisIndex(m)][AxisIndex(c)] =
                ini.ReadInt(kYAxis, AxisKey("HI", m, c), AppSettings::DefaultAxisHigh(m));
        }
    s.m_fitActivePowerAxis = ini.ReadString(kYAxis, AxisKey("LOW", 10, 1), QString()).isEmpty();
}

void LoadViewSettings(const IniFile& ini, AppSettings& s) {
    for (const ViewKey& k : kViewKeys)
        s.*k.member = ReadByte(ini, kView, k.key, k.def);
    s.m_rtInterval = ini.ReadInt(kRtRate, QStringLiteral("RTSAMPRATE"), AppSettings().m_rtInterval);
    s.m_nominalVoltage =
        ini.ReadString(kStatistics, QStringLiteral("NOMINAL"), AppSettings().m_nominalVoltage);
}

void StoreAllSettings(IniFile& ini, const AppSettings& s) {
    ini.WriteString(kTime, QStringLiteral("YEAR"), s.m_timeYear);
    ini.WriteString(kTime, QStringLiteral("MONTH"), s.m_timeMonth);
    ini.WriteString(kTime, QStringLiteral("DAY"), s.m_timeDay);
    ini.WriteString(kTime, QStringLiteral("HOUR"), s.m_timeHour);
    ini.WriteString(kTime, QStringLiteral("MINUTE"), s.m_timeMinute);
    ini.WriteString(kTime, QStringLiteral("SECOND"), s.m_timeSecond);
    ini.WriteString(kSampRate, QStringLiteral("SAMPRATE"), s.m_sampRate);
    ini.WriteInt(kSampRate, QStringLiteral("SAMPUNIT"), s.m_sampUnit);
    ini.WriteInt(kLimitUnit, QStringLiteral("LIMIT1UNIT"), s.m_limit1Unit);
    ini.WriteInt(kLimitUnit, QStringLiteral("LIMIT2UNIT"), s.m_limit2Unit);
    ini.WriteString(kAlarm, QStringLiteral("TEMPHI"), s.m_tempHi);
    ini.WriteString(kAlarm, QStringLiteral("TEMPLOW"), s.m_tempLow);
    for (const ViewKey& k : kViewKeys)
        ini.WriteInt(kView, QLatin1String(k.key), s.*k.member);
    for (int m = 1; m <= kAxisModes; ++m)
        for (int c = 1; c <= kAxisChannels; ++c) {
            ini.WriteInt(kYAxis, AxisKey("LOW", m, c), s.m_yAxisLow[AxisIndex(m)][AxisIndex(c)]);
            ini.WriteInt(kYAxis, AxisKey("HI", m, c), s.m_yAxisHigh[AxisIndex(m)][AxisIndex(c)]);
        }
    ini.WriteInt(kColor, QStringLiteral("BGColor"), s.m_bgColor);
    ini.WriteInt(kColor, QStringLiteral("TColor"), s.m_ch1Color);
    ini.WriteInt(kColor, QStringLiteral("T2Color"), s.m_ch2Color);
    ini.WriteInt(kColor, QStringLiteral("T3Color"), s.m_ch3Color);
    ini.WriteInt(kColor, QStringLiteral("GRIDColor"), s.m_gridColor);
    ini.WriteInt(kAutoOff, QStringLiteral("AUTOOFF"), s.m_autoOff);
    ini.WriteInt(kRecMode, QStringLiteral("RECMODE"), s.m_recMode);
    ini.WriteInt(kRtRate, QStringLiteral("RTSAMPRATE"), s.m_rtInterval);
    ini.WriteInt(kRtData, QStringLiteral("SAMPDATA"), s.m_rtPointsRequested);
    ini.WriteString(kStatistics, QStringLiteral("NOMINAL"), s.m_nominalVoltage);
}

AppSettings LoadSettingsFile(const QString& path) {
    IniFile ini;
    ini.Load(path);
    AppSettings s;
    LoadFrameSettings(ini, s);
    LoadViewSettings(ini, s);
    return s;
}

bool SaveSettingsFile(const QString& path, const AppSettings& s, QString* error) {
    IniFile ini;
    // A file that exists but cannot be read is left alone rather than replaced by
    // one that lacks the lines we could not see.
    if (!ini.Load(path) && QFileInfo::exists(path)) {
        if (error)
            *error = QStringLiteral("the file there cannot be read");
        return false;
    }
    StoreAllSettings(ini, s);
    return ini.Save(path, error);
}
