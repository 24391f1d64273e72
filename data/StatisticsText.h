#pragma once
// The statistics of a recording as rows of text: one table of figures (a column per
// present channel) and one of voltage events. The statistics window, its printed page
// and `orvex-dl stats` show the same rows, and the window copies them as
// tab-separated text.

#include "data/RecordingStatistics.h"

#include <QString>
#include <QStringList>

#include <vector>

struct TextTable {
    QStringList header;
    std::vector<QStringList> rows;
    // Header and rows, cells separated by tabs, one line each.
    QString ToTabSeparated() const;
    // Header and rows in aligned columns for a terminal.
    QString ToAligned() const;
};

// "Figure", "CH1 (V)", "CH2 (A)": the figures of every present channel, then the
// voltage summaries and the apparent energy.
TextTable FiguresTable(const RecordingStatistics& s);

// One event of a channel, as listed.
struct ListedEvent {
    int channel = 1;
    VoltageEvent event;
};
// Every event of every voltage channel, in time order.
std::vector<ListedEvent> ListedEvents(const RecordingStatistics& s);
// "Channel", "Kind", "Start", "Duration", "Extreme" for `events`, in their order.
TextTable EventsTable(const std::vector<ListedEvent>& events);

// "00:02:00", or "7 d 00:00:00" from a day on.
QString DurationText(double seconds);
