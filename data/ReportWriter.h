#pragma once
// The .xls report that Save writes beside the .stdata file: tab-separated 8-bit
// text with CRLF line ends that a spreadsheet program opens. One entry per RMS
// sample and per TR waveform point, the TR records merged among the RMS rows by
// time; with 65536 entries or more, B = T / 65536 + 1 entries share a line.
//
// Numbers always have a decimal point, whatever locale the process runs under.

#include "data/MeasurementSet.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

inline constexpr int64_t kReportEntriesPerColumn = 65536;

// T = m_rmsCount + 251 * m_trCount.
int64_t ReportEntryCount(const MeasurementSet& set);
// B = T / 65536 + 1.
int64_t ReportEntriesPerLine(const MeasurementSet& set);

// The report's bytes. An inconsistent set (counts that disagree with the arrays)
// gives an empty array and `error`; a consistent set always has a report.
QByteArray BuildReport(const MeasurementSet& set, QString* error = nullptr);

// Builds the report and writes it atomically: on failure the old file is untouched.
bool WriteReportFile(const QString& path, const MeasurementSet& set, QString* error);
