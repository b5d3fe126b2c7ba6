// Shows prepared report pages one under another, at a zoom, with both scroll bars.
#pragma once

#include "report/PreparedReport.h"

#include <QAbstractScrollArea>

#include <memory>

namespace report {

/// Keeps the pages (shares them with whoever handed them over), so it shows them after the
/// data is gone. Only the pages in view are painted, and the scrolled area is not a widget of
/// the pages' size, so any number of pages scrolls alike.
class ReportPreview : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit ReportPreview(QWidget* parent = nullptr);

    void setReport(PreparedReport report);
    void setReport(std::shared_ptr<const PreparedReport> report);
    const PreparedReport& report() const { return *m_report; }
    /// The report on show has more pages than when it was set (it is being prepared).
    void reportGrew() { relayout(); }
    /// 1.0 is the page's natural size on screen.
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    /// Device pixels a point.
    double scale() const;
    void relayout();

    std::shared_ptr<const PreparedReport> m_report;
    double m_zoom = 1.0;
};

} // namespace report
