#include "ReportPreview.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

namespace report {

namespace {

constexpr int Gap = 12;

class Canvas : public QWidget
{
public:
    explicit Canvas(ReportPreview* preview) : QWidget(preview), m_preview(preview) {}

    double scale() const { return m_preview->zoom() * logicalDpiX() / 72.0; }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter p(this);
        p.fillRect(rect(), QColor(128, 128, 128));
        const PreparedReport& r = m_preview->report();
        const double s = scale();
        const int w = qRound(r.pageWidth * s);
        const int h = qRound(r.pageHeight * s);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        for (std::size_t i = 0; i < r.pages.size(); ++i) {
            const int top = Gap + int(i) * (h + Gap);
            p.fillRect(Gap + 3, top + 3, w, h, QColor(60, 60, 60));
            if (!event->rect().intersects(QRect(Gap, top, w, h)))
                continue;
            // Drawn through an image of the page, as a printer would receive it.
            QImage page(w, h, QImage::Format_RGB32);
            page.fill(Qt::white);
            {
                QPainter ip(&page);
                ip.setRenderHint(QPainter::Antialiasing);
                ip.setRenderHint(QPainter::TextAntialiasing);
                ReportEngine::paintPage(ip, r, int(i), s);
            }
            p.drawImage(Gap, top, page);
        }
    }

private:
    ReportPreview* m_preview;
};

} // namespace

ReportPreview::ReportPreview(QWidget* parent) : QScrollArea(parent), m_canvas(new Canvas(this))
{
    setWidget(m_canvas);
    setWidgetResizable(false);
    setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setBackgroundRole(QPalette::Dark);
    relayout();
}

void ReportPreview::setReport(PreparedReport report)
{
    m_report = std::move(report);
    relayout();
}

void ReportPreview::setZoom(double zoom)
{
    m_zoom = zoom;
    relayout();
}

void ReportPreview::relayout()
{
    const double s = static_cast<Canvas*>(m_canvas)->scale();
    const int w = qRound(m_report.pageWidth * s);
    const int h = qRound(m_report.pageHeight * s);
    const int n = int(m_report.pages.size());
    m_canvas->resize(std::max(1, w + 2 * Gap), std::max(1, Gap + n * (h + Gap)));
    m_canvas->update();
}

} // namespace report
