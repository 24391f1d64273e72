#pragma once
// Where the settings file and the previous-measurement file live.

#include <QString>

// $DATALOGGER_DIR if set; on Windows the Windows directory; elsewhere
// $XDG_CONFIG_HOME/OrvexDatalogger (default ~/.config/OrvexDatalogger).
QString DataDirectory();
// DataDirectory() + "/" + name, creating the folder if it is missing.
QString DataFilePath(const QString& name);

inline const char* const kSettingsFileName = "LumoDATALOGGER.ini";
inline const char* const kPreviousMeasurementFileName = "PreMeasureLumo.stdata";
