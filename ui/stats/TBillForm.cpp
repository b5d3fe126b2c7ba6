// The window of the bill check: the bill's file and columns, the choices, the run and the result.
#include "TBillForm.h"

#include "BillRowsModel.h"

#include "app/Messages.h"
#include "data/TDM.h"
#include "data/TariffStore.h"
#include "data/Tariffs.h"
#include "grid/GridTable.h"
#include "report/ReportOutput.h"
#include "reportview/ReportPreview.h"
#include "reportview/ReportPrint.h"
#include "runs/BillReport.h"
#include "ui/common/Guarded.h"
#include "ui/common/TFileForm.h"
#include "ui/common/Widgets.h"
#include "ui/controls/DateField.h"
#include "ui/controls/PeriodButton.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace {

const QString CompareText = QStringLiteral("Сравнить");
const QString StopText = QStringLiteral("Стоп");
const QString NoneText = QStringLiteral("нет");
constexpr int PreviewRows = 12;
constexpr int RefusedShown = 10;

QString g_nextFileName;
QString g_nextPdfName;
const QString ReportTemplateName = QStringLiteral("report5.frf");

// What a spreadsheet gets of a cell instead of its text: a count, or a sum of kopecks as
// roubles with two places (a column of money says so in every cell, empty ones too).
void giveNumber(QTableWidgetItem* item, std::optional<qint64> number, bool kopecks = false)
{
    if (kopecks)
        item->setData(grid::DecimalsRole, 2);
    if (number)
        item->setData(Qt::UserRole,
                      kopecks ? QVariant(double(*number) / 100.0) : QVariant(*number));
}

QComboBox* combo(QWidget* parent, const QString& name)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(name);
    c->setSizeAdjustPolicy(QComboBox::AdjustToContents); // a column's sample is not cut
    return c;
}

QSpinBox* spin(QWidget* parent, const QString& name, int min, int max, int value)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setRange(min, max);
    s->setValue(value);
    return s;
}

QString count(qint64 n)
{
    return QLocale().toString(n);
}

} // namespace

void TBillForm::setNextFileName(const QString& fileName)
{
    g_nextFileName = fileName;
}

void TBillForm::setNextPdfName(const QString& fileName)
{
    g_nextPdfName = fileName;
}

TBillForm::TBillForm(TDM& dm, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::WindowMaximizeButtonHint),
      m_dm(dm), m_job([](const int&) {}, [this](runs::RunState state) { runEnded(state); }),
      m_reportJob(
          [this](const std::pair<int, int>& pages) {
              PanelProgress->setText(QStringLiteral("Построение отчета: страница %1 из %2")
                                         .arg(pages.first)
                                         .arg(pages.second));
          },
          [this](runs::RunState state) { reportEnded(state); })
{
    setObjectName(QStringLiteral("BillForm"));
    setWindowTitle(QStringLiteral("Сверка со счётом оператора"));

    // The bill's file.
    bbOpen = new QPushButton(style()->standardIcon(QStyle::SP_DialogOpenButton),
                             QStringLiteral("&Открыть счёт…"), this);
    bbOpen->setObjectName(QStringLiteral("bbOpen"));
    LabelFile = new QLabel(QStringLiteral("Счёт не открыт"), this);
    LabelFile->setObjectName(QStringLiteral("LabelFile"));
    LabelFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(bbOpen);
    fileRow->addWidget(LabelFile, 1);

    // The columns.
    cbDateTime = combo(this, QStringLiteral("cbDateTime"));
    cbTime = combo(this, QStringLiteral("cbTime"));
    cbNumber = combo(this, QStringLiteral("cbNumber"));
    cbDuration = combo(this, QStringLiteral("cbDuration"));
    cbCost = combo(this, QStringLiteral("cbCost"));
    seFirstRow = spin(this, QStringLiteral("seFirstRow"), 1, 1, 1);
    auto* cols = new QGridLayout;
    cols->addWidget(ui::labelFor(QStringLiteral("&Дата и время"), cbDateTime, this), 0, 0);
    cols->addWidget(cbDateTime, 0, 1);
    cols->addWidget(ui::labelFor(QStringLiteral("Вре&мя отдельно"), cbTime, this), 0, 2);
    cols->addWidget(cbTime, 0, 3);
    cols->addWidget(ui::labelFor(QStringLiteral("&Номер"), cbNumber, this), 0, 4);
    cols->addWidget(cbNumber, 0, 5);
    cols->addWidget(ui::labelFor(QStringLiteral("Д&лительность"), cbDuration, this), 1, 0);
    cols->addWidget(cbDuration, 1, 1);
    cols->addWidget(ui::labelFor(QStringLiteral("С&тоимость"), cbCost, this), 1, 2);
    cols->addWidget(cbCost, 1, 3);
    cols->addWidget(ui::labelFor(QStringLiteral("Пе&рвая строка звонков"), seFirstRow, this), 1, 4);
    cols->addWidget(seFirstRow, 1, 5);

    // What the bill covers.
    cbPlan = combo(this, QStringLiteral("cbPlan"));
    cbPlan->addItem(QStringLiteral("все линии"), 0);
    dOT = new DateField(QDate::currentDate(), this);
    dOT->setObjectName(QStringLiteral("dOT"));
    dDo = new DateField(QDate::currentDate(), this);
    dDo->setObjectName(QStringLiteral("dDo"));
    sbPeriod = new PeriodButton(dOT, dDo, this);
    eCity = new QLineEdit(this);
    eCity->setObjectName(QStringLiteral("eCity"));
    eCity->setMaxLength(5);
    eCity->setInputMask(QStringLiteral("00000"));
    seStartTolerance = spin(this, QStringLiteral("seStartTolerance"), 0, 3600, 120);
    seStartTolerance->setSuffix(QStringLiteral(" с"));
    seDurationTolerance = spin(this, QStringLiteral("seDurationTolerance"), 0, 600, 2);
    seDurationTolerance->setSuffix(QStringLiteral(" с"));
    seClockShift = spin(this, QStringLiteral("seClockShift"), -23, 23, 0);
    seClockShift->setSuffix(QStringLiteral(" ч"));
    eLines = new QLineEdit(this);
    eLines->setObjectName(QStringLiteral("eLines"));
    eLines->setPlaceholderText(
        QStringLiteral("городские номера или номера линий через запятую; пусто: линии плана"));
    auto* cover = new QGridLayout;
    cover->addWidget(ui::labelFor(QStringLiteral("Тарифный &план"), cbPlan, this), 0, 0);
    cover->addWidget(cbPlan, 0, 1, 1, 3);
    cover->addWidget(ui::labelFor(QStringLiteral("Код &города"), eCity, this), 0, 4);
    cover->addWidget(eCity, 0, 5);
    cover->addWidget(ui::labelFor(QStringLiteral("Период &с"), dOT, this), 1, 0);
    cover->addWidget(dOT, 1, 1);
    cover->addWidget(ui::labelFor(QStringLiteral("по"), dDo, this), 1, 2);
    cover->addWidget(dDo, 1, 3);
    cover->addWidget(sbPeriod, 1, 4);
    cover->addWidget(ui::labelFor(QStringLiteral("Допуск &начала ±"), seStartTolerance, this), 2,
                     0);
    cover->addWidget(seStartTolerance, 2, 1);
    cover->addWidget(ui::labelFor(QStringLiteral("длител&ьности ±"), seDurationTolerance, this), 2,
                     2);
    cover->addWidget(seDurationTolerance, 2, 3);
    cover->addWidget(ui::labelFor(QStringLiteral("Сдвиг &часов счёта"), seClockShift, this), 2, 4);
    cover->addWidget(seClockShift, 2, 5);
    cover->addWidget(ui::labelFor(QStringLiteral("Лин&ии"), eLines, this), 3, 0);
    cover->addWidget(eLines, 3, 1, 1, 5);

    // The buttons.
    bbCompare = new QPushButton(CompareText, this);
    bbCompare->setObjectName(QStringLiteral("bbCompare"));
    bbCompare->setEnabled(false);
    bbExport = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                               QStringLiteral("&Экспорт…"), this);
    bbExport->setObjectName(QStringLiteral("bbExport"));
    bbReport = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogContentsView),
                               QStringLiteral("Отч&ет…"), this);
    bbReport->setObjectName(QStringLiteral("bbReport"));
    bbClose = new QPushButton(style()->standardIcon(QStyle::SP_DialogCloseButton),
                              QStringLiteral("&Закрыть"), this);
    bbClose->setObjectName(QStringLiteral("bbClose"));
    PanelProgress = new QLabel(this);
    PanelProgress->setObjectName(QStringLiteral("PanelProgress"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bbCompare);
    buttons->addWidget(PanelProgress, 1);
    buttons->addWidget(bbReport);
    buttons->addWidget(bbExport);
    buttons->addWidget(bbClose);

    // The bill as read, the sums and the calls that differ.
    PageResult = new QTabWidget(this);
    PageResult->setObjectName(QStringLiteral("PageResult"));
    GridPreview = ui::readOnlyTable(this, QStringLiteral("GridPreview"), {});
    GridPreview->verticalHeader()->show(); // the rows' numbers, as the first row is chosen
    PageResult->addTab(GridPreview, QStringLiteral("Счёт"));

    auto* sums = new QWidget(this);
    GridSummary =
        ui::readOnlyTable(sums, QStringLiteral("GridSummary"),
                          {QStringLiteral("Класс"), QStringLiteral("Звонков"),
                           QStringLiteral("Секунд по счёту"), QStringLiteral("Секунд по журналу"),
                           QStringLiteral("По счёту, руб."), QStringLiteral("По тарифу, руб.")});
    GridSummary->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    LabelDisputed = new QLabel(sums);
    LabelDisputed->setObjectName(QStringLiteral("LabelDisputed"));
    LabelDisputed->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelRefused = new QLabel(sums);
    LabelRefused->setObjectName(QStringLiteral("LabelRefused"));
    LabelRefused->setWordWrap(true);
    LabelRefused->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* sumsLayout = new QVBoxLayout(sums);
    sumsLayout->addWidget(GridSummary, 1);
    sumsLayout->addWidget(LabelDisputed);
    sumsLayout->addWidget(LabelRefused);
    PageResult->addTab(sums, QStringLiteral("Итоги"));

    auto* differ = new QWidget(this);
    cbKind = combo(differ, QStringLiteral("cbKind"));
    cbKind->addItem(QStringLiteral("все расхождения"), -1);
    for (bill::Kind k :
         {bill::Kind::Duration, bill::Kind::Cost, bill::Kind::NotInLog, bill::Kind::NotInBill})
        cbKind->addItem(bill::kindText(k), int(k));
    GridRows = new QTableView(differ);
    GridRows->setObjectName(QStringLiteral("GridRows"));
    ui::setReadOnlyLook(GridRows);
    m_rowsModel = new BillRowsModel(GridRows);
    GridRows->setModel(m_rowsModel);
    // By number, and the calls to one number by time, as the comparison gives them.
    GridRows->horizontalHeader()->setSortIndicator(BillRowsModel::Number, Qt::AscendingOrder);
    GridRows->setSortingEnabled(true);
    auto* filter = new QHBoxLayout;
    filter->addWidget(ui::labelFor(QStringLiteral("Показ&ать"), cbKind, differ));
    filter->addWidget(cbKind);
    filter->addStretch(1);
    auto* differLayout = new QVBoxLayout(differ);
    differLayout->addLayout(filter);
    differLayout->addWidget(GridRows, 1);
    PageResult->addTab(differ, QStringLiteral("Расхождения"));

    cols->setColumnStretch(6, 1);
    cover->setColumnStretch(6, 1);
    auto* main = new QVBoxLayout(this);
    main->addLayout(fileRow);
    main->addLayout(cols);
    main->addLayout(cover);
    main->addLayout(buttons);
    main->addWidget(PageResult, 1);

    connect(bbOpen, &QPushButton::clicked, this, &TBillForm::bbOpenClick);
    connect(bbCompare, &QPushButton::clicked, this, &TBillForm::bbCompareClick);
    connect(bbExport, &QPushButton::clicked, this, &TBillForm::bbExportClick);
    connect(bbReport, &QPushButton::clicked, this, &TBillForm::bbReportClick);
    connect(bbClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(cbKind, &QComboBox::currentIndexChanged, this, [this] { fillRows(); });
    connect(cbPlan, &QComboBox::currentIndexChanged, this, &TBillForm::planChanged);
    connect(PageResult, &QTabWidget::currentChanged, this, [this] { updateExport(); });

    // The plans the bill may be for.
    ui::guarded(this, [&] {
        m_dm.EnsureUsable();
        m_book = tariff::load(m_dm.ibDatabase, m_dm.ibTranRO);
        for (const tariff::TariffLine& line : tariff::readForEditing(m_dm).lines) {
            QString digits = line.town;
            digits.remove(QRegularExpression(QStringLiteral("\\D")));
            m_lines.emplace_back(line.number, digits);
        }
    });
    if (m_book)
        for (const tariff::Plan& p : m_book->plans())
            cbPlan->addItem(p.name, p.id);
    ui::fitDropDownToItems(cbPlan);

    updateExport();
    ui::fitOnScreen(this, QSize(1000, 700));
}

TBillForm::~TBillForm()
{
    m_reportJob.abandon();
    m_job.abandon();
}

void TBillForm::bbOpenClick()
{
    QString name = g_nextFileName;
    g_nextFileName.clear();
    if (name.isEmpty()) {
        QFileDialog dialog(this, QStringLiteral("Счёт оператора"));
        dialog.setObjectName(QStringLiteral("BillDialog"));
        dialog.setNameFilters({QStringLiteral("Детализация счёта (*.csv *.xlsx *.txt)"),
                               QStringLiteral("Все файлы (*)")});
        dialog.setFileMode(QFileDialog::ExistingFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return;
        name = dialog.selectedFiles().constFirst();
    }
    openFile(name);
}

void TBillForm::openFile(const QString& fileName)
{
    bill::Table table = bill::readFile(fileName);
    if (!table.error.isEmpty()) {
        Messages::error(table.error, this);
        return;
    }
    if (table.rows.empty()) {
        Messages::error(
            QStringLiteral("В файле %1 нет ни одной строки.").arg(QFileInfo(fileName).fileName()),
            this);
        return;
    }
    m_table = std::move(table);
    m_fileName = fileName;
    LabelFile->setText(QStringLiteral("%1 (%2; строк: %3)")
                           .arg(QFileInfo(fileName).fileName(), m_table.format,
                                count(qint64(m_table.rows.size()))));
    fillPreview();
    const bill::Columns chosen = rememberedColumns().value_or(bill::guessColumns(m_table));
    setColumns(chosen);
    PageResult->setCurrentIndex(0);
    bbCompare->setEnabled(true);
    // The period: the bill's first and last call, as far as its rows read with the columns.
    const bill::BillCalls calls = bill::readCalls(m_table, chosen, eCity->text());
    if (calls.error.isEmpty() && !calls.calls.empty()) {
        dOT->setDate(bill::dayOf(calls.first));
        dDo->setDate(bill::dayOf(calls.last));
    }
}

std::optional<bill::Columns> TBillForm::rememberedColumns()
{
    QString text;
    ui::guarded(this, [&] {
        m_dm.EnsureUsable();
        text = tariff::billColumns(m_dm.ibDatabase, m_dm.ibTranRO, cbPlan->currentData().toInt());
    });
    const std::optional<bill::Columns> stored = bill::Columns::fromText(text);
    // A choice made for another layout of the bill is not forced on this one.
    if (!stored || !stored->problem(m_table.columnCount()).isEmpty() ||
        stored->firstRow >= int(m_table.rows.size()))
        return std::nullopt;
    return stored;
}

void TBillForm::rememberColumns(const bill::Columns& chosen)
{
    TDM::WriteResult written = TDM::WriteResult::Written;
    ui::guarded(this, [&] {
        written = tariff::saveBillColumns(m_dm, cbPlan->currentData().toInt(), chosen.text());
    });
    if (written == TDM::WriteResult::Refused && !m_rememberRefusalTold) {
        m_rememberRefusalTold = true;
        Messages::plain(QStringLiteral("Выбор столбцов счёта не запомнен.\n\n") +
                            tariff::writeErrorText(m_dm.WriteRefusal()),
                        this);
    }
}

void TBillForm::planChanged()
{
    if (m_table.rows.empty() || running())
        return;
    if (const std::optional<bill::Columns> stored = rememberedColumns())
        setColumns(*stored);
}

void TBillForm::fillPreview()
{
    const int columnCount = m_table.columnCount();
    const int rows = int(std::min<std::size_t>(m_table.rows.size(), PreviewRows));
    GridPreview->clear();
    GridPreview->setColumnCount(columnCount);
    GridPreview->setRowCount(rows);
    QStringList titles;
    for (int c = 0; c < columnCount; ++c)
        titles << QString::number(c + 1);
    GridPreview->setHorizontalHeaderLabels(titles);
    QStringList rowTitles;
    for (int r = 0; r < rows; ++r) {
        const QStringList& cells = m_table.rows[std::size_t(r)];
        for (int c = 0; c < cells.size() && c < columnCount; ++c)
            GridPreview->setItem(r, c, new QTableWidgetItem(cells[c]));
    }
    GridPreview->resizeColumnsToContents();

    for (QComboBox* box : {cbDateTime, cbTime, cbNumber, cbDuration, cbCost}) {
        box->clear();
        if (box == cbTime || box == cbCost)
            box->addItem(NoneText, -1);
        for (int c = 0; c < columnCount; ++c) {
            const QString sample = rows > 1 ? m_table.rows[std::size_t(rows - 1)].value(c)
                                            : m_table.rows.front().value(c);
            box->addItem(QStringLiteral("%1: %2").arg(c + 1).arg(sample.left(24)), c);
        }
        ui::fitDropDownToItems(box);
    }
    seFirstRow->setRange(1, int(m_table.rows.size()));
}

void TBillForm::setColumns(const bill::Columns& columns)
{
    auto choose = [](QComboBox* box, int column) {
        const int i = box->findData(column);
        box->setCurrentIndex(i >= 0 ? i : 0);
    };
    choose(cbDateTime, columns.dateTime);
    choose(cbTime, columns.time);
    choose(cbNumber, columns.number);
    choose(cbDuration, columns.duration);
    choose(cbCost, columns.cost);
    seFirstRow->setValue(columns.firstRow + 1);
}

bill::Columns TBillForm::columns() const
{
    bill::Columns c;
    c.dateTime = cbDateTime->currentData().toInt();
    c.time = cbTime->currentData().toInt();
    c.number = cbNumber->currentData().toInt();
    c.duration = cbDuration->currentData().toInt();
    c.cost = cbCost->currentData().toInt();
    c.firstRow = seFirstRow->value() - 1;
    return c;
}

void TBillForm::bbCompareClick()
{
    if (running()) {
        m_job.stop();
        m_reportJob.stop();
        return;
    }
    if (m_table.rows.empty()) {
        Messages::plain(QStringLiteral("Сначала откройте счёт оператора"), this);
        return;
    }
    const bill::Columns chosen = columns();
    const QString problem = chosen.problem(m_table.columnCount());
    if (!problem.isEmpty()) {
        Messages::plain(problem, this);
        return;
    }
    if (dOT->date() > dDo->date()) {
        Messages::plain(QStringLiteral("Начало периода позже его конца"), this);
        return;
    }
    bill::BillCalls calls = bill::readCalls(m_table, chosen, eCity->text());
    if (!calls.error.isEmpty()) {
        Messages::plain(calls.error, this);
        return;
    }
    bill::CheckRequest request;
    const bool ready = ui::guarded(this, [&] {
        m_dm.EnsureUsable();
        request.navigateByDate = m_dm.HasIndexes({QStringLiteral("IX_RINGS_DATE")});
    });
    if (!ready)
        return;
    rememberColumns(chosen);
    request.place = readingPlaceOf(m_dm);
    request.first = dOT->date();
    request.last = dDo->date();
    request.plan = cbPlan->currentData().toInt();
    // Lines picked by hand, by city number or by line number, instead of the plan's.
    const QStringList picked =
        eLines->text().split(QRegularExpression(QStringLiteral("[,;\\s]+")), Qt::SkipEmptyParts);
    for (const QString& word : picked) {
        QString digits = word;
        digits.remove(QRegularExpression(QStringLiteral("\\D")));
        const auto found = std::find_if(m_lines.begin(), m_lines.end(), [&](const auto& line) {
            return !digits.isEmpty() &&
                   (line.second == digits || QString::number(line.first) == digits);
        });
        if (found == m_lines.end()) {
            Messages::error(QStringLiteral("Линии «%1» нет в справочнике «Линии»: сравнение не "
                                           "начато.")
                                .arg(word),
                            this);
            eLines->setFocus();
            return;
        }
        request.lines.push_back(found->first);
    }
    if (!request.lines.empty())
        request.plan = 0;
    request.cityCode = eCity->text();
    request.options.startTolerance = seStartTolerance->value();
    request.options.durationTolerance = seDurationTolerance->value();
    request.options.clockShift = seClockShift->value();
    request.book = m_book;
    m_pendingCalls = std::move(calls);
    m_pending = {};
    PanelProgress->setText(QStringLiteral("Идёт сверка ..."));
    setRunning(true);
    m_job.start([this, request](runs::JobContext<int>& context) {
        m_pending = bill::check(request, m_pendingCalls.calls, context.cancelSlot(),
                                [&context] { return context.stopping(); });
    });
}

void TBillForm::setRunning(bool on)
{
    bbCompare->setText(on ? StopText : CompareText);
    for (QWidget* w : std::initializer_list<QWidget*>{
             bbOpen, cbDateTime, cbTime, cbNumber, cbDuration, cbCost, seFirstRow, cbPlan, eLines,
             dOT, dDo, sbPeriod, eCity, seStartTolerance, seDurationTolerance, seClockShift})
        w->setEnabled(!on);
    updateExport();
}

void TBillForm::runEnded(runs::RunState state)
{
    setRunning(false);
    switch (state) {
    case runs::RunState::Finished:
        if (m_pending.stopped) {
            PanelProgress->setText(QStringLiteral("Сверка остановлена"));
            break;
        }
        if (!m_pending.error.isEmpty()) {
            PanelProgress->setText(QStringLiteral("Сверка не проведена"));
            Messages::plain(m_pending.error, this);
            break;
        }
        m_rowsModel->setRows(nullptr, std::nullopt); // the rows it shows are replaced
        m_outcome = std::move(m_pending);
        m_hasResult = true;
        showResult();
        break;
    case runs::RunState::Stopped:
        PanelProgress->setText(QStringLiteral("Сверка остановлена"));
        break;
    case runs::RunState::Failed:
        PanelProgress->setText(QStringLiteral("Сверка прервана"));
        Messages::error(runs::failureText(m_job.failure()), this);
        break;
    default:
        break;
    }
    updateExport();
}

void TBillForm::showResultCounts()
{
    PanelProgress->setText(
        QStringLiteral("Звонков в счёте: %1, в журнале: %2")
            .arg(count(qint64(m_outcome.result.bill.size())), count(m_outcome.logCalls)));
}

void TBillForm::showResult()
{
    const bill::Result& r = m_outcome.result;
    showResultCounts();
    GridSummary->setRowCount(bill::KindCount);
    for (int k = 0; k < bill::KindCount; ++k) {
        const bill::Totals& t = r.totals[std::size_t(k)];
        const QStringList cells{bill::kindText(bill::Kind(k)),
                                count(t.calls),
                                count(t.billSeconds),
                                count(t.logSeconds),
                                tariff::moneyText(t.billKopecks),
                                tariff::moneyText(t.ourKopecks)};
        const qint64 numbers[] = {t.calls, t.billSeconds, t.logSeconds, t.billKopecks,
                                  t.ourKopecks};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (c > 0) {
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
                giveNumber(item, numbers[c - 1], c > 3);
            }
            GridSummary->setItem(k, c, item);
        }
    }
    LabelDisputed->setText(
        QStringLiteral("Сумма к оспариванию: %1 руб.").arg(tariff::moneyText(r.disputed)));

    QStringList refused;
    const auto& lines = m_pendingCalls.refused;
    if (!lines.empty()) {
        refused << QStringLiteral("Не прочитано строк счёта: %1 (в сверку не вошли)")
                       .arg(count(qint64(lines.size())));
        for (std::size_t i = 0; i < lines.size() && i < std::size_t(RefusedShown); ++i)
            refused << QStringLiteral("строка %1: %2").arg(lines[i].first).arg(lines[i].second);
        if (lines.size() > std::size_t(RefusedShown))
            refused << QStringLiteral("…");
    }
    if (r.outside > 0)
        refused << QStringLiteral("Звонков счёта вне периода: %1").arg(count(r.outside));
    LabelRefused->setText(refused.join(u'\n'));
    LabelRefused->setVisible(!refused.isEmpty());
    fillRows();
    PageResult->setCurrentIndex(1);
}

void TBillForm::fillRows()
{
    const int kind = cbKind->currentData().toInt();
    m_rowsModel->setRows(m_hasResult ? &m_outcome.result : nullptr,
                         kind < 0 ? std::nullopt : std::optional<bill::Kind>(bill::Kind(kind)));
    GridRows->resizeColumnsToContents();
    // The columns are measured on the first rows, which may hold short numbers only: room for
    // the longest number a bill holds.
    const int number =
        GridRows->fontMetrics().horizontalAdvance(QStringLiteral("+000000000000000")) + 12;
    if (GridRows->columnWidth(BillRowsModel::Number) < number)
        GridRows->setColumnWidth(BillRowsModel::Number, number);
}

void TBillForm::updateExport()
{
    bbExport->setEnabled(!running() && m_hasResult && PageResult->currentIndex() > 0);
    bbReport->setEnabled(!running() && m_hasResult);
}

void TBillForm::bbExportClick()
{
    if (!m_hasResult)
        return;
    TFileForm form(m_dm.MainObject->ProgramDir, this);
    form.ExportView = PageResult->currentIndex() == 1 ? GridSummary : GridRows;
    if (form.exec() == 1)
        m_dm.MainObject->LastExportDir = form.directory();
}

void TBillForm::bbReportClick()
{
    if (!m_hasResult || running())
        return;
    auto layout = std::make_shared<report::ReportTemplate>();
    if (!layout->load(m_dm.MainObject->ProgramDir + ReportTemplateName)) {
        Messages::error(QStringLiteral("Не удалось прочитать шаблон отчета %1\n\n%2")
                            .arg(ReportTemplateName, layout->errorString()),
                        this);
        return;
    }
    bill::ReportHeading heading;
    const QString format = QStringLiteral("dd.MM.yyyy");
    heading.title = QStringLiteral("с %1 по %2")
                        .arg(dOT->date().toString(format), dDo->date().toString(format));
    heading.file = QFileInfo(m_fileName).fileName();
    heading.plan = cbPlan->currentText();
    // Every call that differs is a row: a large bill takes seconds to lay out, off the window's
    // thread; the result it reads stays as it is, no check starting meanwhile.
    m_reportPages = std::make_shared<report::PreparedReport>();
    PanelProgress->setText(QStringLiteral("Построение отчета ..."));
    setRunning(true);
    m_reportJob.start([this, layout, heading,
                       pages = m_reportPages](runs::JobContext<std::pair<int, int>>& context) {
        QElapsedTimer told;
        told.start();
        QString error;
        const bool done = bill::prepareReport(*layout, m_outcome.result, heading, *pages, error,
                                              [&](int laidOut, int total) {
                                                  if (context.stopping())
                                                      return false;
                                                  if (told.hasExpired(100)) {
                                                      context.tell({laidOut, total});
                                                      told.restart();
                                                  }
                                                  return true;
                                              });
        if (!done && !context.stopping())
            throw runs::RunFailure(QStringLiteral("Отчет не построен: ") + error);
    });
}

void TBillForm::reportEnded(runs::RunState state)
{
    setRunning(false);
    std::shared_ptr<const report::PreparedReport> pages = std::move(m_reportPages);
    showResultCounts();
    switch (state) {
    case runs::RunState::Finished:
        showReport(std::move(pages));
        break;
    case runs::RunState::Stopped:
        PanelProgress->setText(QStringLiteral("Построение отчета остановлено"));
        break;
    case runs::RunState::Failed:
        Messages::error(runs::failureText(m_reportJob.failure()), this);
        break;
    default:
        break;
    }
}

void TBillForm::showReport(std::shared_ptr<const report::PreparedReport> shown)
{
    if (m_reportWindow)
        m_reportWindow->close();
    auto* window = new QDialog(this, Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                                         Qt::WindowMaximizeButtonHint);
    window->setObjectName(QStringLiteral("BillReportForm"));
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(QStringLiteral("Сверка со счётом"));
    auto* print = new QPushButton(style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                                  QStringLiteral("&Печать"), window);
    print->setObjectName(QStringLiteral("bbPrint"));
    auto* pdf = new QPushButton(style()->standardIcon(QStyle::SP_DialogSaveButton),
                                QStringLiteral("PD&F…"), window);
    pdf->setObjectName(QStringLiteral("bbPdf"));
    pdf->setToolTip(QStringLiteral("Сохранить отчет в файл PDF"));
    auto* preview = new report::ReportPreview(window);
    preview->setObjectName(QStringLiteral("frPreview"));
    preview->setReport(shown);
    auto* top = new QHBoxLayout;
    top->addWidget(print);
    top->addWidget(pdf);
    top->addStretch();
    auto* v = new QVBoxLayout(window);
    v->addLayout(top);
    v->addWidget(preview, 1);
    connect(print, &QPushButton::clicked, window, [window, shown] {
        QString failure;
        bool printed = false;
        if (QPrinterInfo::availablePrinters().isEmpty()) {
            failure = QStringLiteral("В системе нет ни одного принтера");
        } else {
            QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
            printed = report::print(*shown, printer, failure);
        }
        if (!printed)
            Messages::error(QStringLiteral("Отчет не напечатан: ") + failure, window);
    });
    connect(pdf, &QPushButton::clicked, this, [this, shown] { writeReportPdf(shown); });
    ui::fitOnScreen(window, QSize(1000, 700));
    m_reportWindow = window;
    window->show();
}

void TBillForm::writeReportPdf(const std::shared_ptr<const report::PreparedReport>& pages)
{
    QString path = g_nextPdfName;
    g_nextPdfName.clear();
    QWidget* parent = m_reportWindow ? static_cast<QWidget*>(m_reportWindow) : this;
    if (path.isEmpty())
        path = ui::choosePdfFile(parent, *m_dm.MainObject,
                                 QStringLiteral("Сверка со счётом %1-%2.pdf")
                                     .arg(dOT->date().toString(QStringLiteral("dd.MM.yyyy")),
                                          dDo->date().toString(QStringLiteral("dd.MM.yyyy"))));
    if (path.isEmpty())
        return;
    report::ReportOutput output;
    if (!output.writePdf(*pages, path))
        Messages::error(QStringLiteral("Не удалось записать файл %1: %2")
                            .arg(QDir::toNativeSeparators(path), output.errorString()),
                        parent);
}

void TBillForm::closeEvent(QCloseEvent* event)
{
    // Closing while the log is read or the report laid out stops the work.
    m_job.stop();
    m_reportJob.stop();
    QDialog::closeEvent(event);
}
