// Shows prepared report pages one under another, at a zoom, with both scroll bars.
#pragma once

#include "ReportEngine.h"

#include <QScrollArea>

namespace report {

/// Keeps its own copy of the pages, so it shows them after the data is gone.
class ReportPreview : public QScrollArea
{
    Q_OBJECT
public:
    explicit ReportPreview(QWidget* parent = nullptr);

    void setReport(PreparedReport report);
    const PreparedReport& report() const { return m_report; }
    /// 1.0 is the page's natural size on screen.
    void setZoom(double zoom);
    double zoom() const { return m_zoom; }

private:
    void relayout();

    PreparedReport m_report;
    double m_zoom = 1.0;
    QWidget* m_canvas;
};

} // namespace report
