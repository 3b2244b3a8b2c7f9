#include "wavefiles/LibraryPrinter.h"
#include "platform/Failure.h"
#include "platform/SafeReplace.h"
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace tamblor {

struct LibraryPrinter::Job {
    QPrinter printer{QPrinter::HighResolution};
    QPainter painter;
    int y = 0;
    int lineHeight = 0;
    QString destination;
    std::unique_ptr<SafeReplace> pdf; // the PDF file being written, until it is complete
};

bool LibraryPrinter::usesPdf()
{
    return QPrinterInfo::defaultPrinter().isNull();
}

QString LibraryPrinter::entryLine(const QString& soundName, const QString& timeText, int slot)
{
    return QString(5, ' ') + soundName + ' ' + timeText + ' ' + QString::number(slot).rightJustified(3, ' ');
}

void LibraryPrinter::begin()
{
    job_ = std::make_shared<Job>();
    if (usesPdf()) {
        job_->pdf = std::make_unique<SafeReplace>(fallbackPdf_);
        job_->pdf->create().close(); // the printer writes the file by its name
        job_->printer.setOutputFormat(QPrinter::PdfFormat);
        job_->printer.setOutputFileName(job_->pdf->workingPath());
        job_->destination = fallbackPdf_;
    } else {
        job_->destination = job_->printer.printerName();
    }
    job_->printer.setDocName("Tamblor sound files");
    if (!job_->painter.begin(&job_->printer)) {
        job_.reset();
        throw Failure(Failure::PrinterError);
    }
    QFont font("Courier New");
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSize(12);
    job_->painter.setFont(font);
    job_->lineHeight = QFontMetrics(font, &job_->printer).lineSpacing();
    for (int i = 0; i < 3; ++i)
        printLine(" ");
}

void LibraryPrinter::printLine(const QString& line)
{
    if (!job_)
        throw Failure(Failure::PrinterError);
    const QRect page = job_->printer.pageLayout().paintRectPixels(job_->printer.resolution());
    if (job_->y + job_->lineHeight > page.height()) {
        if (!job_->printer.newPage())
            throw Failure(Failure::PrinterError);
        job_->y = 0;
    }
    job_->y += job_->lineHeight;
    job_->painter.drawText(0, job_->y - job_->painter.fontMetrics().descent(), line);
}

QString LibraryPrinter::end()
{
    if (!job_)
        throw Failure(Failure::PrinterError);
    const bool ok = job_->painter.end();
    const QString where = job_->destination;
    std::shared_ptr<Job> job = std::move(job_);
    if (!ok)
        throw Failure(Failure::PrinterError);
    if (job->pdf)
        job->pdf->commit();
    return where;
}

bool LibraryPrinter::print(const QStringList& lines, const std::function<bool(int percent)>& progress)
{
    try {
        begin();
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (!progress(int(i * 100 / lines.size()))) {
                abort();
                return false;
            }
            printLine(lines[i]);
        }
        if (!progress(100)) {
            abort();
            return false;
        }
        end();
        return true;
    } catch (...) {
        abort();
        throw;
    }
}

void LibraryPrinter::abort()
{
    if (!job_)
        return;
    job_->printer.abort();
    job_->painter.end();
    job_.reset();
}

} // namespace tamblor
