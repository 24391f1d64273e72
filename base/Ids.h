#pragma once
// Every identifier the layers share, written once: the command ids of the menu, the
// tool bars and the accelerators, the main frame's and the graph view's timer ids,
// and the settings numbers of the graph modes. The numbers are fixed: the
// settings file stores mode numbers and the status prompts are found by command id,
// so a number never changes once given.

namespace Cmd {
inline constexpr int FileNew = 57600;
inline constexpr int FileOpenFramework = 57601;
inline constexpr int FileSaveFramework = 57603;
inline constexpr int FilePrintFramework = 57607;
inline constexpr int Save = 32814;
inline constexpr int Open = 32827;
inline constexpr int PrintSetup = 57606;
inline constexpr int PrintPreviewGraph = 32889;
inline constexpr int PrintPreviewList = 32890;
inline constexpr int PrintGraph = 32891;
inline constexpr int PrintList = 32892;
inline constexpr int Exit = 57665;
inline constexpr int CorrectTime = 32840;
inline constexpr int Setup = 32869;
inline constexpr int Download = 32847;
inline constexpr int ImportToList = 32920;
inline constexpr int PreviousMeasurement = 32882;
inline constexpr int ToggleInstrument = 32884;
inline constexpr int ToggleInfoBar = 32885;
inline constexpr int About = 57664;
inline constexpr int Help = 32779;
inline constexpr int DataList = 32836;
inline constexpr int StoreRms = 32904;
inline constexpr int StoreTransient = 32906;
inline constexpr int RealTimeEpa = 32907;
inline constexpr int RealTimeFrequency = 32908;
inline constexpr int RealTimeApparentPower = 32911;
inline constexpr int RealTimeRms = 32913;
inline constexpr int Run = 32917;
inline constexpr int Stop = 32772;
inline constexpr int NextPane = 57680;
inline constexpr int PreviousPane = 57681;
// File > Export.
inline constexpr int ExportImage = 32960;
inline constexpr int ExportCsv = 32961;
inline constexpr int ExportComtrade = 32965;
// Window > TR File List: reopens the record list in stored TR mode.
inline constexpr int TrFileList = 32962;
// The real-time active power P(W) and power factor PF graphs.
inline constexpr int RealTimeActivePower = 32963;
inline constexpr int RealTimePowerFactor = 32964;
} // namespace Cmd

// Two commands with one number would run each other's handler: the menu, the tool
// bars and the status prompts look commands up by number.
namespace Cmd::detail {
inline constexpr int kAll[] = {
    FileNew,
    FileOpenFramework,
    FileSaveFramework,
    FilePrintFramework,
    Save,
    Open,
    PrintSetup,
    PrintPreviewGraph,
    PrintPreviewList,
    PrintGraph,
    PrintList,
    Exit,
    CorrectTime,
    Setup,
    Download,
    ImportToList,
    PreviousMeasurement,
    ToggleInstrument,
    ToggleInfoBar,
    About,
    Help,
    DataList,
    StoreRms,
    StoreTransient,
    RealTimeEpa,
    RealTimeFrequency,
    RealTimeApparentPower,
    RealTimeRms,
    Run,
    Stop,
    NextPane,
    PreviousPane,
    ExportImage,
    ExportCsv,
    ExportComtrade,
    TrFileList,
    RealTimeActivePower,
    RealTimePowerFactor,
};
constexpr bool AllDistinct() {
    for (int a : kAll) {
        int seen = 0;
        for (int b : kAll)
            seen += a == b ? 1 : 0;
        if (seen != 1)
            return false;
    }
    return true;
}
static_assert(AllDistinct(), "two commands share a number");
} // namespace Cmd::detail

// Command ids of the graph view's own tool bar.
namespace ViewCmd {
inline constexpr int ZoomOut = 32792;
inline constexpr int AxisSetup = 32868;
inline constexpr int ColorSetup = 32845;
inline constexpr int ViewOptions = 32881;
} // namespace ViewCmd

// Timers of the main frame's one timer handler.
namespace FrameTimer {
inline constexpr int Close = 2;
inline constexpr int PortScan = 4;
inline constexpr int Probe = 5;
inline constexpr int Supervision = 6;
inline constexpr int ResetScale = 8;
inline constexpr int DownloadWatchdog = 9;
inline constexpr int BlockRepeat = 10;
inline constexpr int StartRepeat = 12;
inline constexpr int RealTimeWatchdog = 13;
inline constexpr int RealTimeTick = 14;
inline constexpr int RealTimeRestart = 15;
// Correct Time's fields follow the computer's clock until the user edits one.
inline constexpr int ClockFollow = 16;
} // namespace FrameTimer

// Timers of the graph view.
namespace ViewTimer {
inline constexpr int ResizeRepaint = 2;
inline constexpr int DragWatchdog = 3;
inline constexpr int FirstPaintReset = 4;
} // namespace ViewTimer

// Settings numbers of the graph modes; the per-mode axis ranges of the settings
// file are indexed by number - 1 (5, 8 and 9 are unused). P(W) and PF take numbers
// of their own past 9: every settings file written so far holds 8 and 9 with the
// S(VA) range, which would be meaningless for a power factor.
namespace ModeNo {
inline constexpr int StoreRms = 1;
inline constexpr int StoreTransient = 2;
inline constexpr int RealTimeEpa = 3;
inline constexpr int RealTimeRms = 4;
inline constexpr int RealTimeFrequency = 6;
inline constexpr int RealTimeApparentPower = 7;
inline constexpr int RealTimeActivePower = 10;
inline constexpr int RealTimePowerFactor = 11;
inline constexpr int Count = 11;
} // namespace ModeNo
