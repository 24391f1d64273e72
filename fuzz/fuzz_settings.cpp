// Feeds arbitrary bytes to the settings file reader as the file LumoDATALOGGER.ini.
// Whatever it holds, reading gives values the program can use, and writing them
// back gives a file that reads back to the same values and writes the same bytes
// again; the lines we do not own survive.

#include "base/IniFile.h"
#include "base/Settings.h"

#include <QByteArray>

#include <cstdlib>

namespace {

bool SameSettings(const AppSettings& a, const AppSettings& b) {
    return a.m_timeYear == b.m_timeYear && a.m_timeMonth == b.m_timeMonth &&
           a.m_timeDay == b.m_timeDay && a.m_timeHour == b.m_timeHour &&
           a.m_timeMinute == b.m_timeMinute && a.m_timeSecond == b.m_timeSecond &&
           a.m_sampRate == b.m_sampRate && a.m_sampUnit == b.m_sampUnit &&
           a.m_limit1Unit == b.m_limit1Unit && a.m_limit2Unit == b.m_limit2Unit &&
           a.m_tempHi == b.m_tempHi && a.m_tempLow == b.m_tempLow && a.m_showCh1 == b.m_showCh1 &&
           a.m_showCh2 == b.m_showCh2 && a.m_viewOption3 == b.m_viewOption3 &&
           a.m_viewOption4 == b.m_viewOption4 && a.m_viewOption5 == b.m_viewOption5 &&
           a.m_viewOption6 == b.m_viewOption6 && a.m_showMarkPoints == b.m_showMarkPoints &&
           a.m_showVerticalGrid == b.m_showVerticalGrid &&
           a.m_showHorizontalGrid == b.m_showHorizontalGrid && a.m_yAxisLow == b.m_yAxisLow &&
           a.m_yAxisHigh == b.m_yAxisHigh && a.m_bgColor == b.m_bgColor &&
           a.m_ch1Color == b.m_ch1Color && a.m_ch2Color == b.m_ch2Color &&
           a.m_ch3Color == b.m_ch3Color && a.m_gridColor == b.m_gridColor &&
           a.m_autoOff == b.m_autoOff && a.m_recMode == b.m_recMode &&
           a.m_rtInterval == b.m_rtInterval && a.m_rtPointsRequested == b.m_rtPointsRequested;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    IniFile ini;
    ini.LoadFromBytes(bytes);
    AppSettings s;
    LoadFrameSettings(ini, s);
    LoadViewSettings(ini, s);
    // Texts are read through the platform's 260-character buffer.
    for (const QString* t : {&s.m_timeYear, &s.m_sampRate, &s.m_tempHi, &s.m_tempLow})
        if (t->size() > 259)
            std::abort();

    StoreAllSettings(ini, s);
    const QByteArray written = ini.ToBytes();
    IniFile again;
    again.LoadFromBytes(written);
    AppSettings back;
    LoadFrameSettings(again, back);
    LoadViewSettings(again, back);
    // A value cut by the buffer or one with blanks around it may read differently the
    // first time; from the written file on, reading and writing are stable.
    StoreAllSettings(again, back);
    const QByteArray second = again.ToBytes();
    IniFile third;
    third.LoadFromBytes(second);
    AppSettings backAgain;
    LoadFrameSettings(third, backAgain);
    LoadViewSettings(third, backAgain);
    if (!SameSettings(back, backAgain))
        std::abort();
    StoreAllSettings(third, backAgain);
    if (third.ToBytes() != second)
        std::abort();
    return 0;
}
