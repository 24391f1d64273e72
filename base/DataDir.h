#pragma once
// Where the settings file and the previous-measurement file live.

#include <QString>

// $DATALOGGER_DIR, when set, holds both files. Otherwise, on Windows, the Windows
// directory holds both; elsewhere they follow the XDG base directories: the
// settings in $XDG_CONFIG_HOME/OrvexDatalogger (default ~/.config/...), the
// previous measurement, which is data rather than a preference, in
// $XDG_DATA_HOME/OrvexDatalogger (default ~/.local/share/...). A relative XDG
// variable is ignored, as the base-directory rules demand.
QString DataDirectory(); // the settings folder
QString MeasurementDataDirectory();
// DataDirectory() + "/" + name, creating the folder if it is missing.
QString DataFilePath(const QString& name);
// MeasurementDataDirectory() + "/" + name, creating the folder if it is missing.
QString MeasurementFilePath(const QString& name);

// The full paths, their folders created if missing.
QString SettingsFilePath();
// Earlier versions kept the previous measurement beside the settings: a file left
// there is moved to the new place once, when the new place holds none yet.
QString PreviousMeasurementFilePath();

inline const char* const kSettingsFileName = "LumoDATALOGGER.ini";
inline const char* const kPreviousMeasurementFileName = "PreMeasureLumo.stdata";
