// Shows prepared report pages one under another, painting only those in view.
#include "ReportPreview.h"

#include "report/ReportOutput.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace report {

namespace {
constexpr int Gap = 12;
} // namespace

ReportPreview::ReportPreview(QWidget* parent)
    : QAbstractScrollArea(parent), m_report(std::make_shared<const PreparedReport>())
{
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    viewport()->setBackgroundRole(QPalette::Dark);
    viewport()->setAutoFillBackground(false);
    relayout();
}

void ReportPreview::setReport(PreparedReport report)
{
    setReport(std::make_shared<const PreparedReport>(std::move(report)));
}

void ReportPreview::setReport(std::shared_ptr<const PreparedReport> report)
{
    m_report = report ? std::move(report) : std::make_shared<const PreparedReport>();
    relayout();
}

void ReportPreview::setZoom(double zoom)
{
    m_zoom = zoom;
    relayout();
}

double ReportPreview::scale() const
{
    return m_zoom * viewport()->logicalDpiX() / 72.0;
}

void ReportPreview::relayout()
{
    const double s = scale();
    const qint64 w = qRound(m_report->pageWidth * s);
    const qint64 h = qRound(m_report->pageHeight * s);
    const qint64 n = qint64(m_report->pages.size());
    const qint64 width = w + 2 * Gap;
    const qint64 height = Gap + n * (h + Gap);
    const QSize view = viewport()->size();
    QScrollBar* hs = horizontalScrollBar();
    QScrollBar* vs = verticalScrollBar();
    hs->setRange(0, int(std::clamp<qint64>(width - view.width(), 0, INT_MAX)));
    hs->setPageStep(std::max(1, view.width()));
    hs->setSingleStep(20);
    vs->setRange(0, int(std::clamp<qint64>(height - view.height(), 0, INT_MAX)));
    vs->setPageStep(std::max(1, view.height()));
    vs->setSingleStep(20);
    viewport()->update();
}

void ReportPreview::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    relayout();
}

void ReportPreview::scrollContentsBy(int, int)
{
    viewport()->update();
}

void ReportPreview::paintEvent(QPaintEvent* event)
{
    QPainter p(viewport());
    p.fillRect(event->rect(), QColor(128, 128, 128));
    const PreparedReport& r = *m_report;
    const double s = scale();
    const int w = qRound(r.pageWidth * s);
    const int h = qRound(r.pageHeight * s);
    if (w <= 0 || h <= 0 || r.pages.empty())
        return;
    // The pages stand centred across a wider view, as in a scroll area aligned to the centre.
    const int contentWidth = w + 2 * Gap;
    const int left = (contentWidth < viewport()->width() ? (viewport()->width() - contentWidth) / 2
                                                         : -horizontalScrollBar()->value()) +
                     Gap;
    const qint64 offset = verticalScrollBar()->value();
    const qint64 step = h + Gap;
    const QRect exposed = event->rect();
    // Only the pages the exposed rectangle meets, found by arithmetic.
    const qint64 count = qint64(r.pages.size());
    const qint64 first = std::clamp<qint64>((offset + exposed.top() - Gap) / step - 1, 0, count);
    const qint64 last = std::clamp<qint64>((offset + exposed.bottom()) / step + 1, 0, count);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    for (qint64 i = first; i < last; ++i) {
        const int top = int(Gap + i * step - offset);
        const QRect pageRect(left, top, w, h);
        p.fillRect(pageRect.translated(3, 3), QColor(60, 60, 60));
        if (!exposed.intersects(pageRect))
            continue;
        // Drawn through an image of the page, as a printer would receive it.
        QImage page(w, h, QImage::Format_RGB32);
        page.fill(Qt::white);
        {
            QPainter ip(&page);
            ip.setRenderHint(QPainter::Antialiasing);
            ip.setRenderHint(QPainter::TextAntialiasing);
            ReportOutput::paintPage(ip, r, int(i), s);
        }
        p.drawImage(left, top, page);
    }
}

} // namespace report
