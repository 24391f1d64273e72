#pragma once
// The four connection dialogs as the link sees them: which one, the link's state
// (Connected lets the action button act), what kind of message line it shows and
// whether the action button may act. The words of the titles and message lines are
// the widgets' own, mapped from these values in one place.

#include <QString>

#include <array>

enum class LinkDialog { Setup, Download, CorrectTime, RealTime };
inline constexpr int kLinkDialogCount = 4;

enum class LinkState { Connecting, Connected, NotConnected };

// What a dialog's message line says, by kind; which words depend on the dialog.
enum class LinkLine {
    AtOpen,         // the dialog appeared and the search began
    ReadyAtOpen,    // the logger was found before and the port opened
    AfterHandshake, // the logger answered a probe
    ConnectFailed,  // explains a NotConnected state
    NoPort,         // no port opened in the last scan: LinkDialogState::noPortText says why
    Waiting,        // the button was pressed before the logger answered on waitingOn
};

struct LinkDialogState {
    bool open = false;
    LinkState state = LinkState::Connecting;
    LinkLine line = LinkLine::AtOpen;
    QString noPortText; // the devices tried and what to do, for LinkLine::NoPort
    QString waitingOn;  // the devices asked, for LinkLine::Waiting
    bool actionEnabled = true;
};

// Texts the core reports itself, in message boxes, on the status bar and on the
// command line's stderr.
namespace LinkText {
// Message boxes of the link.
inline constexpr const char* kStartLogging =
    "To start logging, press the START button on the DATA LOGGER for three seconds";
inline constexpr const char* kNoData = "There is no data in DATALOGGER!";
inline constexpr const char* kLoggingNow =
    "The DATA LOGGER is logging now!Please stop logging,and try again!";
inline constexpr const char* kInterrupted = "Communication interruption!";
inline constexpr const char* kDamagedHeader =
    "The DATA LOGGER sent a damaged data header (channel count or data length out of range). "
    "Please try again!";
// Status bar.
inline constexpr const char* kPortsDenied =
    "Serial ports exist but access was denied: add your user to the 'dialout' group (sudo "
    "adduser $USER dialout) and log in again.";
} // namespace LinkText

// Which steps of the search change each dialog's message line.
struct LinkDialogLines {
    bool readyAtOpen;        // the line changes when the known logger's port opens
    bool afterHandshake;     // the line changes when the logger answers a probe
    bool showsConnectFailed; // the line explains a NotConnected state by itself
};

inline constexpr std::array<LinkDialogLines, kLinkDialogCount> kLinkDialogLines = {{
    /* Setup */ {false, true, false},
    /* Download */ {true, true, true},
    /* CorrectTime */ {false, false, false},
    /* RealTime */ {true, true, false},
}};

inline const LinkDialogLines& LinesOf(LinkDialog d) {
    return kLinkDialogLines[size_t(d)];
}
