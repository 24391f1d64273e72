#pragma once
// What `orvex-dl setup` and `orvex-dl set-clock` share: finding the logger on the
// device, writing the one command, and turning its acknowledgement into an exit code
// and a message.

#include "link/LinkController.h"
#include "tools/cli/CliSupport.h"

#include <QByteArray>
#include <QString>

// The search limit of --timeout SECONDS (default 10 s), in milliseconds; nothing after
// a usage error was printed.
inline constexpr int kConfigSearchDefaultS = 10;
std::optional<int> ConfigSearchLimitMs(const char* command, const CliArgs& args, const char* usage);

// Exit codes: 0 on 0xEE, 0 with the START-button text on stderr for 0x1E, 3 when no
// logger answers within `searchMs`, 6 when nothing acknowledges the command within 2 s.
int SendConfigCommand(const char* command, const QString& device, LinkDialog dialog,
                      const QByteArray& bytes, int searchMs);
