#pragma once
// The publisher's options in the settings file, in a section of their own
// ("PUBLISHInfo"), so that the app's Publish page and orvex-dl read the same broker,
// credentials and topic. The password may stay out of the file: the variables of
// ApplyCredentialVariables take the place of what the file holds.

#include "publish/PublishOptions.h"

class IniFile;

inline constexpr const char* kPublishSection = "PUBLISHInfo";

struct PublishSettings {
    bool enabled = false; // the app publishes its runs
    PublishOptions options;
    bool operator==(const PublishSettings& o) const;
};

// A missing key keeps its default; a QoS or port out of range reads as the default.
PublishSettings LoadPublishSettings(const IniFile& ini);
// Writes every key of the section, keeping the file's other lines.
void StorePublishSettings(IniFile& ini, const PublishSettings& s);

PublishSettings LoadPublishSettingsFile(const QString& path);
// A file that exists but cannot be read is left as it is (false, with `error`).
bool SavePublishSettingsFile(const QString& path, const PublishSettings& s,
                             QString* error = nullptr);
