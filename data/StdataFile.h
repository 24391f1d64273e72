#pragma once
// The .stdata measurement file: the stored half of a measurement set as a flat
// little-endian sequence of fields (tag, counts, flags, interval, start time, the
// CH1 and CH2 blocks, the TR records and the two TR levels). The same layout serves
// the files the user saves and the previous-measurement file.
//
// Loading never touches the caller's set unless the whole file was read: a file
// that is cut short, or announces more than it holds, leaves the data shown alone.

#include "base/SafeFile.h"
#include "data/MeasurementSet.h"

#include <QByteArray>
#include <QString>

// Width of the fixed parts, for callers that check sizes.
inline constexpr int kStdataTimeFieldBytes = 24; // six int32 local calendar fields
inline constexpr int kStdataTrHeaderBytes = 26;  // channel code, unit code, time field
inline constexpr int kStdataTrWaveBytes = 4 * kTrPoints;
// No logger recording describes more samples than this (its data length is a 24-bit
// byte count); a larger RMS count can only come from a damaged file.
inline constexpr int kStdataMaxRmsCount = 1 << 24;
// The most samples the logger's 512 KiB memory holds (one channel, 2 bytes each).
inline constexpr int kStdataMaxSamplesWithoutChannel = 512 * 1024 / 2;

// Writes fields 1 to 19 from the set as it is; DataTag() is the tag. Only a present
// channel writes its block.
QByteArray EncodeStdata(const MeasurementSet& set);

enum class StdataStatus {
    Loaded,   // the whole file was read and put in place
    WrongTag, // readable tag, but not "RMSTRDATA": the set is unchanged
    Damaged,  // cut short, impossible count or field: the set is unchanged
};

// Parses `bytes`. Only on Loaded is the stored half of `out` replaced (and its
// FileTag() set); a channel whose flag is not 1 keeps out's texts and unit, so a
// file without CH1 leaves the CH2 unit as it was. `tag` receives the file's tag
// whenever it could be read; `error` a sentence for the user on Damaged.
StdataStatus ParseStdata(const QByteArray& bytes, MeasurementSet& out, QString* tag,
                         QString* error);

// True and `out` replaced only when the whole file is valid and carries "RMSTRDATA".
bool DecodeStdata(const QByteArray& bytes, MeasurementSet& out, QString* error);

// The sentence that starts the message for a damaged or cut measurement file (the
// real-time file uses it too, so that both read alike).
QString DamagedFileText();

// Atomic: the target is replaced only when the whole file was written.
bool SaveStdataFile(const QString& path, const MeasurementSet& set, QString* error);
// Opens the file for reading only (read-only files and media work).
bool LoadStdataFile(const QString& path, MeasurementSet& out, QString* error);
// As LoadStdataFile with the detailed outcome; false from `opened` means the file
// could not be opened or read at all.
StdataStatus LoadStdataFileDetailed(const QString& path, MeasurementSet& out, QString* tag,
                                    QString* error, bool* opened = nullptr);
