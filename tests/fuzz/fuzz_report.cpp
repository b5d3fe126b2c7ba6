// Report templates of any content: parsed, and when they parse, laid out over three rows and
// their first page painted, as the report window does with a template from the disk.
#include "report/ReportEngine.h"
#include "report/ReportOutput.h"
#include "report/ReportTemplate.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// Three rows of a detailed call list.
class Rows : public report::ReportDataSource
{
public:
    void first() override { m_i = 0; }
    void next() override { ++m_i; }
    bool eof() const override { return m_i >= 3; }
    std::optional<QVariant> value(const QString& name) const override
    {
        if (name.compare(QLatin1String("FIO"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("Ivanov %1").arg(m_i);
        if (name.compare(QLatin1String("NumberIn"), Qt::CaseInsensitive) == 0)
            return 101 + m_i;
        if (name.compare(QLatin1String("RingLength"), Qt::CaseInsensitive) == 0)
            return 65.5 * m_i;
        return std::nullopt;
    }

private:
    int m_i = 0;
};

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_report: %s\n", what);
        std::abort();
    }
}

} // namespace

// The font database Qt keeps for the whole run holds fontconfig's patterns to the end.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libfontconfig\n";
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Fonts need a GUI application; no display is needed for one.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    report::ReportTemplate layout;
    const QByteArray xml(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!layout.parse(xml, QStringLiteral("fuzz.frf"))) {
        check(layout.errorString().startsWith(QLatin1String("fuzz.frf, line ")),
              "a refusal without its place");
        return 0;
    }
    check(std::isfinite(layout.marginLeft()) && std::isfinite(layout.marginTop()) &&
              std::isfinite(layout.marginRight()) && std::isfinite(layout.marginBottom()),
          "a margin is not finite");

    Rows rows;
    report::ReportEngine engine;
    report::PreparedReport out;
    const bool prepared = engine.prepare(
        layout, rows,
        [](const QString& name) -> std::optional<QVariant> {
            if (name == QLatin1String("GetTitle"))
                return QStringLiteral("Report for 01.03.26");
            return std::nullopt;
        },
        out);
    check(prepared, "a parsed template was not prepared");
    check(!out.pages.empty(), "no pages");
    int placed = 0;
    for (int n : out.rowsPerPage)
        placed += n;
    check(placed == 3, "not every row was placed");
    for (const report::PreparedPage& page : out.pages)
        for (const report::PageItem& item : page.items)
            check(std::isfinite(item.x1) && std::isfinite(item.y1) && std::isfinite(item.x2) &&
                      std::isfinite(item.y2) && std::isfinite(item.width),
                  "an item is not at a finite place");

    // The first page, small: a tenth of a pixel a point.
    QImage image(60, 85, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    report::ReportOutput::paintPage(painter, out, 0, 0.1);
    return 0;
}
