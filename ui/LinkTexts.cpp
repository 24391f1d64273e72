#include "ui/LinkTexts.h"

#include <array>

namespace {

struct DialogLines {
    const char* atOpen;
    const char* readyAtOpen;
    const char* afterHandshake;
};

// What each dialog's line says at each step; a step that leaves a dialog's line as it
// was never reaches that dialog (see kLinkDialogLines).
constexpr std::array<DialogLines, kLinkDialogCount> kLines = {{
    /* Setup */ {"", "", "  "}, // the handshake blanks the line
    /* Download */
    {"Waiting for connecting...",
     "Press \"Download\" to load store data from the logger,or \"Cancel\" to exit.",
     "Press \"Download\" to load store data from the logger, or \"Cancel\" to exit."},
    /* CorrectTime */ {"", "", ""},
    /* RealTime */
    {"", "Press \"RUN\" to read real-time data,or \"Cancel\" to exit.",
     "Press \"RUN\" to read real time data,"},
}};

} // namespace

QString LinkStateTitle(LinkState state) {
    switch (state) {
    case LinkState::Connecting:
        return QStringLiteral("Connecting...");
    case LinkState::Connected:
        return QStringLiteral("Connected");
    case LinkState::NotConnected:
        return QStringLiteral("Not Connected");
    }
    return {};
}

QString LinkLineText(LinkDialog d, const LinkDialogState& s) {
    const DialogLines& lines = kLines[size_t(d)];
    switch (s.line) {
    case LinkLine::AtOpen:
        return QString::fromLatin1(lines.atOpen);
    case LinkLine::ReadyAtOpen:
        return QString::fromLatin1(lines.readyAtOpen);
    case LinkLine::AfterHandshake:
        return QString::fromLatin1(lines.afterHandshake);
    case LinkLine::ConnectFailed:
        return QStringLiteral("Connecting failed. Ensure logger inserted and try again.");
    case LinkLine::NoPort:
        return s.noPortText;
    case LinkLine::Waiting:
        return QStringLiteral("Waiting for the logger: no reply on %1 yet.").arg(s.waitingOn);
    }
    return {};
}
