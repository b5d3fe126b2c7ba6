// Prepared report pages painted at a device's resolution or written to PDF.
#include "ReportOutput.h"

#include <QIODevice>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>

#include <algorithm>

namespace report {

void ReportOutput::paintPage(QPainter& painter, const PreparedReport& report, int page,
                             double scale)
{
    if (page < 0 || std::size_t(page) >= report.pages.size())
        return;
    painter.save();
    painter.scale(scale, scale);
    for (const PageItem& item : report.pages[std::size_t(page)].items) {
        const QRectF r(QPointF(item.x1, item.y1), QPointF(item.x2, item.y2));
        switch (item.kind) {
        case PageItem::Kind::Fill:
            painter.fillRect(r, QColor::fromRgba(item.color));
            break;
        case PageItem::Kind::Text:
            if (item.font < report.fonts.size())
                painter.setFont(report.fonts[item.font]);
            painter.setPen(QColor::fromRgba(item.color));
            if (item.fit < 1) {
                painter.save();
                painter.translate(r.topLeft());
                painter.scale(item.fit, item.fit);
                painter.drawText(QRectF(QPointF(0, 0), r.size() / item.fit), item.flags, item.text);
                painter.restore();
            } else {
                painter.drawText(r, item.flags, item.text);
            }
            break;
        case PageItem::Kind::Line:
            painter.setPen(QPen(QColor::fromRgba(item.color), item.width));
            painter.drawLine(QPointF(item.x1, item.y1), QPointF(item.x2, item.y2));
            break;
        }
    }
    painter.restore();
}

QPageLayout ReportOutput::pageLayout(const PreparedReport& report)
{
    // A page size is named upright; the orientation turns it.
    const QPageSize upright(QSizeF(std::min(report.pageWidth, report.pageHeight),
                                   std::max(report.pageWidth, report.pageHeight)),
                            QPageSize::Point);
    return QPageLayout(upright,
                       report.pageWidth > report.pageHeight ? QPageLayout::Landscape
                                                            : QPageLayout::Portrait,
                       QMarginsF(0, 0, 0, 0), QPageLayout::Point);
}

bool ReportOutput::writePdf(const PreparedReport& report, const QString& path)
{
    m_error.clear();
    if (report.empty()) {
        m_error = QStringLiteral("nothing to write");
        return false;
    }
    // Written beside an existing file and put in its place only when complete.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = file.errorString();
        return false;
    }
    if (!writePdf(report, file))
        return false;
    if (!file.commit()) {
        m_error = file.errorString();
        return false;
    }
    return true;
}

bool ReportOutput::writePdf(const PreparedReport& report, QIODevice& out)
{
    m_error.clear();
    if (report.empty()) {
        m_error = QStringLiteral("nothing to write");
        return false;
    }
    QPdfWriter pdf(&out);
    pdf.setResolution(72);
    pdf.setPageLayout(pageLayout(report));
    QPainter painter;
    if (!painter.begin(&pdf)) {
        m_error = out.errorString().isEmpty() ? QStringLiteral("cannot write the PDF")
                                              : out.errorString();
        return false;
    }
    for (std::size_t i = 0; i < report.pages.size(); ++i) {
        if (i > 0)
            pdf.newPage();
        paintPage(painter, report, int(i), 1.0);
    }
    if (!painter.end()) {
        m_error = out.errorString().isEmpty() ? QStringLiteral("cannot write the PDF")
                                              : out.errorString();
        return false;
    }
    return true;
}

} // namespace report
