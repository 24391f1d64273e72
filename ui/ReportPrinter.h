#pragma once
// Printing a report through Qt's printer: the page setup dialog (Print Setup),
// the print dialog with its page range, and the preview. The printer keeps its
// settings between jobs, as the framework's one printer of the application does.

#include "graph/Report.h"

#include <QPrinter>

#include <memory>

class QWidget;

class ReportPrinter {
public:
    ReportPrinter();
    QPrinter& Printer() { return *m_printer; }

    // Print Setup: the page setup dialog on the application's printer.
    void Setup(QWidget* parent);
    // The print dialog, then pages from..to of its range. Failed when the job could
    // not start (after saying so).
    enum class Outcome { Printed, Cancelled, Failed };
    Outcome Print(QWidget* parent, const ReportPages& pages);
    // The preview window of `pages` (it paints only the pages it shows).
    void Preview(QWidget* parent, const ReportPages& pages);

    // Paints pages `from` to `to` (1-based, inclusive) onto `printer`; false when
    // the printer could not start.
    static bool PaintPages(QPrinter& printer, const ReportPages& pages, int from, int to);

private:
    std::unique_ptr<QPrinter> m_printer;
};
