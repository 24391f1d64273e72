#pragma once
// The four connection dialogs as the link sees them: which one, what it shows (title,
// message line, action button) and every text it can show. The dialogs' widgets only
// display this state; the titles double as the link state ("Connected" lets the
// action button act).

#include <QString>

#include <array>

enum class LinkDialog { Setup, Download, CorrectTime, RealTime };
inline constexpr int kLinkDialogCount = 4;

struct LinkDialogState {
    bool open = false;
    QString title;
    QString message;
    bool actionEnabled = true;
};

namespace LinkText {
// Titles.
inline constexpr const char* kConnecting = "Connecting...";
inline constexpr const char* kConnected = "Connected";
inline constexpr const char* kNotConnected = "Not Connected";
// Message lines.
inline constexpr const char* kConnectFailed =
    "Connecting failed. Ensure logger inserted and try again.";
inline constexpr const char* kDownloadWaiting = "Waiting for connecting...";
inline constexpr const char* kDownloadReadyAtOpen =
    "Press \"Download\" to load store data from the logger,or \"Cancel\" to exit.";
inline constexpr const char* kDownloadReadyAfterHandshake =
    "Press \"Download\" to load store data from the logger, or \"Cancel\" to exit.";
inline constexpr const char* kRealTimeReadyAtOpen =
    "Press \"RUN\" to read real-time data,or \"Cancel\" to exit.";
inline constexpr const char* kRealTimeReadyAfterHandshake = "Press \"RUN\" to read real time data,";
inline constexpr const char* kSetupAfterHandshake = "  "; // clears the line, as the dialog did
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

// What each dialog's message line says at each step of the search; nullptr leaves
// the line as it is.
struct LinkDialogTexts {
    const char* atOpen;         // the dialog appears, title "Connecting..."
    const char* readyAtOpen;    // the logger was found before and the port opened
    const char* afterHandshake; // the logger answered a probe
    bool showsConnectFailed;    // the line explains a "Not Connected" title
};

inline constexpr std::array<LinkDialogTexts, kLinkDialogCount> kLinkDialogTexts = {{
    /* Setup */ {"", nullptr, LinkText::kSetupAfterHandshake, false},
    /* Download */
    {LinkText::kDownloadWaiting, LinkText::kDownloadReadyAtOpen,
     LinkText::kDownloadReadyAfterHandshake, true},
    /* CorrectTime */ {"", nullptr, nullptr, false},
    /* RealTime */
    {"", LinkText::kRealTimeReadyAtOpen, LinkText::kRealTimeReadyAfterHandshake, false},
}};

inline const LinkDialogTexts& TextsOf(LinkDialog d) {
    return kLinkDialogTexts[size_t(d)];
}
