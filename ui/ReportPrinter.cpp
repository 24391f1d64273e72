#include "ui/ReportPrinter.h"

#include "ui/CPrintPreviewDlg.h"

#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>

ReportPrinter::ReportPrinter() : m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution)) {}

void ReportPrinter::Setup(QWidget* parent) {
    QPageSetupDialog dlg(m_printer.get(), parent);
    dlg.exec();
}

bool ReportPrinter::PaintPages(QPrinter& printer, const ReportPages& pages, int from, int to) {
    QPainter p;
    if (!p.begin(&printer))
        return false;
    const QSize printable = printer.pageLayout().paintRectPixels(printer.resolution()).size();
    from = std::max(from, 1);
    to = std::min(to, pages.count);
    for (int page = from; page <= to; ++page) {
        if (page > from)
            printer.newPage();
        pages.paint(p, printable, page);
    }
    return p.end();
}

ReportPrinter::Outcome ReportPrinter::Print(QWidget* parent, const ReportPages& pages) {
    QPrintDialog dlg(m_printer.get(), parent);
    dlg.setMinMax(1, std::max(pages.count, 1));
    dlg.setOption(QAbstractPrintDialog::PrintPageRange, pages.count > 1);
    if (dlg.exec() != QDialog::Accepted)
        return Outcome::Cancelled;
    int from = 1, to = pages.count;
    if (m_printer->printRange() == QPrinter::PageRange) {
        from = m_printer->fromPage();
        to = m_printer->toPage();
    }
    if (!PaintPages(*m_printer, pages, from, to)) {
        QMessageBox::warning(parent, QStringLiteral("OrvexDatalogger"),
                             QStringLiteral("Could not start print job."));
        return Outcome::Failed;
    }
    return Outcome::Printed;
}

void ReportPrinter::Preview(QWidget* parent, const ReportPages& pages) {
    CPrintPreviewDlg dlg(*m_printer, pages, parent);
    QObject::connect(&dlg, &CPrintPreviewDlg::printRequested, &dlg,
                     [this, parent, &pages] { Print(parent, pages); });
    dlg.exec();
}
