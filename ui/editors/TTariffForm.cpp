// The "Тарифы" window: tariff plans, their rules, each line's plan, and a check of one call.
#include "TTariffForm.h"

#include "app/Messages.h"
#include "data/TDM.h"
#include "data/TariffCsv.h"
#include "data/TariffStore.h"
#include "db/DbError.h"
#include "ui/common/Guarded.h"
#include "ui/common/Widgets.h"
#include "ui/controls/DateField.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString g_nextFileName;

QPushButton* button(const QString& text, const char* name, QWidget* parent)
{
    auto* b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

} // namespace

void TTariffForm::setNextFileName(const QString& fileName)
{
    g_nextFileName = fileName;
}

TTariffForm::TTariffForm(TDM& dm, QWidget* parent)
    : ui::DialogFrame(QStringLiteral("Тарифы"), parent,
                      {.close = QStringLiteral("Закрыть"),
                       .closeName = "bbClose",
                       .closeIcon = QStyle::SP_DialogCloseButton,
                       .enterAccepts = false,
                       .fixedSize = false}),
      m_dm(dm)
{
    setObjectName(QStringLiteral("TTariffForm"));

    lNoTables = new QLabel(
        QStringLiteral("В базе данных нет таблиц тарифов: стоимость звонков не считается."), this);
    lNoTables->setObjectName(QStringLiteral("lNoTables"));
    bbCreateTables = button(QStringLiteral("Создать таблицы тарифов"), "bbCreateTables", this);
    connect(bbCreateTables, &QPushButton::clicked, this, &TTariffForm::bbCreateTablesClick);
    auto* missing = new QHBoxLayout;
    missing->addWidget(lNoTables);
    missing->addWidget(bbCreateTables);
    missing->addStretch();

    // Plans.
    auto* plans = new QGroupBox(QStringLiteral("Тарифные планы"), this);
    lbPlans = new QListWidget(plans);
    lbPlans->setObjectName(QStringLiteral("lbPlans"));
    connect(lbPlans, &QListWidget::currentRowChanged, this, &TTariffForm::lbPlansCurrentRowChanged);
    ePlanName = new QLineEdit(plans);
    ePlanName->setObjectName(QStringLiteral("ePlanName"));
    ePlanName->setMaxLength(50);
    connect(ePlanName, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (m_current < 0)
            return;
        m_set.rename(m_current, text);
        lbPlans->item(m_current)->setText(m_set.title(m_current));
        changed();
    });
    sbNewPlan = button(QStringLiteral("Создать"), "sbNewPlan", plans);
    sbDeletePlan = button(QStringLiteral("Удалить"), "sbDeletePlan", plans);
    sbDefaultPlan = button(QStringLiteral("По умолчанию"), "sbDefaultPlan", plans);
    sbStandardPlan = button(QStringLiteral("Добавить «Типовой»"), "sbStandardPlan", plans);
    connect(sbNewPlan, &QPushButton::clicked, this, &TTariffForm::sbNewPlanClick);
    connect(sbDeletePlan, &QPushButton::clicked, this, &TTariffForm::sbDeletePlanClick);
    connect(sbDefaultPlan, &QPushButton::clicked, this, &TTariffForm::sbDefaultPlanClick);
    connect(sbStandardPlan, &QPushButton::clicked, this, &TTariffForm::sbStandardPlanClick);
    auto* pl = new QGridLayout(plans);
    pl->addWidget(lbPlans, 0, 0, 1, 2);
    pl->addWidget(ui::labelFor(QStringLiteral("Название"), ePlanName, plans), 1, 0);
    pl->addWidget(ePlanName, 1, 1);
    pl->addWidget(sbNewPlan, 2, 0);
    pl->addWidget(sbDeletePlan, 2, 1);
    // The longer two under each other: side by side they would take the rules' room.
    pl->addWidget(sbDefaultPlan, 3, 0, 1, 2);
    pl->addWidget(sbStandardPlan, 4, 0, 1, 2);

    // Rules of the current plan.
    auto* rules = new QGroupBox(QStringLiteral("Правила плана"), this);
    GridRules = new QTableWidget(0, int(tariff::ruleTitles().size()), rules);
    GridRules->setObjectName(QStringLiteral("GridRules"));
    // The titles of two words on two lines: on one, the columns run past a 1024-pixel screen.
    QStringList titles = tariff::ruleTitles();
    for (QString& title : titles)
        title.replace(u' ', u'\n');
    GridRules->setHorizontalHeaderLabels(titles);
    GridRules->setAccessibleName(QStringLiteral("Правила плана"));
    GridRules->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    GridRules->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    GridRules->setSelectionBehavior(QAbstractItemView::SelectItems);
    connect(GridRules, &QTableWidget::itemChanged, this, [this] {
        if (!m_showing)
            changed();
    });
    sbAddRule = button(QStringLiteral("Добавить правило"), "sbAddRule", rules);
    sbDeleteRule = button(QStringLiteral("Удалить правило"), "sbDeleteRule", rules);
    sbImport = button(QStringLiteral("Импорт CSV..."), "sbImport", rules);
    sbExport = button(QStringLiteral("Экспорт CSV..."), "sbExport", rules);
    connect(sbAddRule, &QPushButton::clicked, this, &TTariffForm::sbAddRuleClick);
    connect(sbDeleteRule, &QPushButton::clicked, this, &TTariffForm::sbDeleteRuleClick);
    connect(sbImport, &QPushButton::clicked, this, &TTariffForm::sbImportClick);
    connect(sbExport, &QPushButton::clicked, this, &TTariffForm::sbExportClick);
    auto* rl = new QVBoxLayout(rules);
    rl->addWidget(GridRules);
    auto* rb = new QHBoxLayout;
    for (QPushButton* b : {sbAddRule, sbDeleteRule, sbImport, sbExport})
        rb->addWidget(b);
    rb->addStretch();
    rl->addLayout(rb);

    // Each line's plan.
    auto* lines = new QGroupBox(QStringLiteral("Тарифные планы линий"), this);
    GridLinePlans = new QTableWidget(0, 3, lines);
    GridLinePlans->setObjectName(QStringLiteral("GridLinePlans"));
    GridLinePlans->setAccessibleName(QStringLiteral("Тарифные планы линий"));
    GridLinePlans->setHorizontalHeaderLabels({QStringLiteral("Линия"),
                                              QStringLiteral("Городской номер"),
                                              QStringLiteral("Тарифный план")});
    GridLinePlans->horizontalHeader()->setStretchLastSection(true);
    GridLinePlans->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    GridLinePlans->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    GridLinePlans->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* ll = new QVBoxLayout(lines);
    ll->addWidget(GridLinePlans);

    // The check of one call.
    auto* check = new QGroupBox(QStringLiteral("Проверка звонка"), this);
    eCheckNumber = new QLineEdit(check);
    eCheckNumber->setObjectName(QStringLiteral("eCheckNumber"));
    eCheckNumber->setMaxLength(30);
    eCheckDate = new DateField(QDate::currentDate(), check);
    eCheckDate->setObjectName(QStringLiteral("eCheckDate"));
    cbCheckLine = new QComboBox(check);
    cbCheckLine->setObjectName(QStringLiteral("cbCheckLine"));
    eCheckSeconds = new QSpinBox(check);
    eCheckSeconds->setObjectName(QStringLiteral("eCheckSeconds"));
    eCheckSeconds->setRange(0, 9999999);
    eCheckSeconds->setValue(60);
    sbCheck = button(QStringLiteral("Проверить"), "sbCheck", check);
    connect(sbCheck, &QPushButton::clicked, this, &TTariffForm::sbCheckClick);
    connect(eCheckNumber, &QLineEdit::returnPressed, this, &TTariffForm::sbCheckClick);
    lCheckResult = new QLabel(check);
    lCheckResult->setObjectName(QStringLiteral("lCheckResult"));
    lCheckResult->setWordWrap(true);
    lCheckResult->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lCheckResult->setMinimumHeight(90);
    lCheckResult->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // An answer stays only as long as what it answers.
    connect(eCheckNumber, &QLineEdit::textChanged, lCheckResult, &QLabel::clear);
    connect(eCheckDate, &QDateEdit::dateChanged, lCheckResult, &QLabel::clear);
    connect(cbCheckLine, &QComboBox::currentIndexChanged, lCheckResult, &QLabel::clear);
    connect(eCheckSeconds, &QSpinBox::valueChanged, lCheckResult, &QLabel::clear);
    auto* cl = new QGridLayout(check);
    cl->addWidget(ui::labelFor(QStringLiteral("Номер"), eCheckNumber, check), 0, 0);
    cl->addWidget(eCheckNumber, 0, 1);
    cl->addWidget(ui::labelFor(QStringLiteral("Дата"), eCheckDate, check), 0, 2);
    cl->addWidget(eCheckDate, 0, 3);
    cl->addWidget(ui::labelFor(QStringLiteral("Линия"), cbCheckLine, check), 1, 0);
    cl->addWidget(cbCheckLine, 1, 1);
    cl->addWidget(ui::labelFor(QStringLiteral("Разговор, сек"), eCheckSeconds, check), 1, 2);
    cl->addWidget(eCheckSeconds, 1, 3);
    cl->addWidget(sbCheck, 0, 4, 2, 1);
    cl->addWidget(lCheckResult, 2, 0, 1, 5);

    lStatus = new QLabel(this);
    lStatus->setObjectName(QStringLiteral("lStatus"));
    lStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* top = new QHBoxLayout;
    top->addWidget(plans, 1);
    top->addWidget(rules, 3);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lines, 1);
    bottom->addWidget(check, 1);
    auto* v = new QVBoxLayout;
    v->addLayout(missing);
    v->addLayout(top, 3);
    v->addLayout(bottom, 2);
    setContent(v, lStatus);
    bbSave = acceptButton();
    bbClose = closeButton();
    connect(bbSave, &QPushButton::clicked, this, [this] { bbSaveClick(); });

    // As large as the window was made for, within the screen it opens on.
    ui::fitOnScreen(this, QSize(1100, 720));

    loadFromDatabase();
}

void TTariffForm::changed()
{
    m_dirty = true;
    lCheckResult->clear();
    lStatus->clear();
}

void TTariffForm::showSaved(const QString& text)
{
    lStatus->setText(text);
}

void TTariffForm::loadFromDatabase()
{
    tariff::EditedTariffs read;
    ui::guarded(this, [&] {
        m_dm.EnsureUsable();
        read = tariff::readForEditing(m_dm);
    });
    m_hasTables = read.hasTables;
    m_lines = std::move(read.lines);
    m_set = std::move(read.plans);
    lNoTables->setVisible(!m_hasTables);
    bbCreateTables->setVisible(!m_hasTables);
    setEditable(m_hasTables);
    {
        // The line chosen for the check stays chosen.
        const QVariant chosen = cbCheckLine->currentData();
        const QSignalBlocker block(cbCheckLine);
        cbCheckLine->clear();
        for (const tariff::TariffLine& line : m_lines)
            cbCheckLine->addItem(line.town.isEmpty()
                                     ? QString::number(line.number)
                                     : QStringLiteral("%1 (%2)").arg(line.number).arg(line.town),
                                 line.number);
        cbCheckLine->setCurrentIndex(std::max(0, cbCheckLine->findData(chosen)));
    }
    m_current = -1;
    showPlans(m_set.count() == 0 ? -1 : 0);
    showLines();
    m_dirty = false;
}

void TTariffForm::setEditable(bool on)
{
    for (QWidget* w : std::initializer_list<QWidget*>{
             lbPlans, ePlanName, sbNewPlan, sbDeletePlan, sbDefaultPlan, sbStandardPlan, GridRules,
             sbAddRule, sbDeleteRule, sbImport, sbExport, GridLinePlans, eCheckNumber, eCheckDate,
             cbCheckLine, eCheckSeconds, sbCheck, bbSave})
        w->setEnabled(on);
}

void TTariffForm::showPlans(int select)
{
    {
        const QSignalBlocker block(lbPlans);
        lbPlans->clear();
        for (int i = 0; i < m_set.count(); ++i)
            lbPlans->addItem(m_set.title(i));
        m_current = select;
        lbPlans->setCurrentRow(select);
    }
    const bool any = m_current >= 0;
    ePlanName->setText(any ? m_set.plan(m_current).name : QString());
    for (QWidget* w :
         std::initializer_list<QWidget*>{ePlanName, sbDeletePlan, sbDefaultPlan, GridRules,
                                         sbAddRule, sbDeleteRule, sbImport, sbExport})
        w->setEnabled(m_hasTables && any);
    showRules();
}

void TTariffForm::showRules()
{
    m_showing = true;
    GridRules->setRowCount(0);
    if (m_current >= 0) {
        const std::vector<tariff::Rule>& rules = m_set.plan(m_current).rules;
        GridRules->setRowCount(int(rules.size()));
        for (int r = 0; r < int(rules.size()); ++r) {
            const QStringList fields = tariff::ruleFields(rules[std::size_t(r)]);
            for (int c = 0; c < fields.size(); ++c)
                GridRules->setItem(r, c, new QTableWidgetItem(fields[c]));
        }
    }
    m_showing = false;
}

void TTariffForm::showLines()
{
    GridLinePlans->setRowCount(int(m_lines.size()));
    for (int r = 0; r < int(m_lines.size()); ++r) {
        const int line = m_lines[std::size_t(r)].number;
        GridLinePlans->setItem(r, 0, new QTableWidgetItem(QString::number(line)));
        GridLinePlans->setItem(r, 1, new QTableWidgetItem(m_lines[std::size_t(r)].town));
        auto* combo = new QComboBox(GridLinePlans);
        combo->setObjectName(QStringLiteral("cbLinePlan%1").arg(line));
        // A list reads as its chosen plan; the description says whose plan it is.
        combo->setAccessibleName(QStringLiteral("Тарифный план линии %1").arg(line));
        combo->setAccessibleDescription(QStringLiteral("Тарифный план линии %1").arg(line));
        combo->addItem(QStringLiteral("(по умолчанию)"), 0);
        for (const tariff::Plan& p : m_set.plans())
            combo->addItem(p.name, p.id);
        const int index = combo->findData(m_set.linePlan(line));
        combo->setCurrentIndex(index < 0 ? 0 : index);
        // The cell under the list holds the plan's name as well: a screen reader walking the
        // table reads the cells, not the widgets over them.
        auto* cell = new QTableWidgetItem(combo->currentText());
        GridLinePlans->setItem(r, 2, cell);
        connect(combo, &QComboBox::currentIndexChanged, this, [this, combo, cell, line] {
            m_set.setLinePlan(line, combo->currentData().toInt());
            cell->setText(combo->currentText());
            changed();
        });
        combo->setEnabled(m_hasTables);
        GridLinePlans->setCellWidget(r, 2, combo);
    }
}

bool TTariffForm::storeRules()
{
    if (m_current < 0)
        return true;
    std::vector<QStringList> rows;
    for (int r = 0; r < GridRules->rowCount(); ++r) {
        QStringList fields;
        for (int c = 0; c < GridRules->columnCount(); ++c) {
            const QTableWidgetItem* item = GridRules->item(r, c);
            fields << (item ? item->text() : QString());
        }
        rows.push_back(fields);
    }
    const std::optional<tariff::PlanSet::Fault> fault = m_set.setRuleRows(m_current, rows);
    if (!fault)
        return true;
    GridRules->setCurrentCell(fault->row, fault->column);
    Messages::error(fault->text, this);
    return false;
}

void TTariffForm::lbPlansCurrentRowChanged(int row)
{
    if (row == m_current)
        return;
    if (!storeRules()) {
        const QSignalBlocker block(lbPlans);
        lbPlans->setCurrentRow(m_current);
        return;
    }
    m_current = row;
    ePlanName->setText(row >= 0 ? m_set.plan(row).name : QString());
    showRules();
}

void TTariffForm::addPlan(tariff::Plan plan)
{
    showPlans(m_set.add(std::move(plan)));
    showLines();
    changed();
}

void TTariffForm::sbNewPlanClick()
{
    if (!storeRules())
        return;
    tariff::Plan p;
    p.name = QStringLiteral("Новый план");
    addPlan(std::move(p));
    ePlanName->setFocus();
    ePlanName->selectAll();
}

void TTariffForm::sbStandardPlanClick()
{
    if (!storeRules())
        return;
    addPlan(tariff::standardPlan());
}

void TTariffForm::sbDeletePlanClick()
{
    if (m_current < 0)
        return;
    const tariff::Plan& p = m_set.plan(m_current);
    if (!Messages::confirm(
            QStringLiteral("Удалить тарифный план «%1» вместе с его правилами (%2)? Линии этого "
                           "плана перейдут на план по умолчанию.")
                .arg(p.name)
                .arg(p.rules.size()),
            this))
        return;
    m_set.remove(m_current);
    m_current = -1;
    showPlans(m_set.count() == 0 ? -1 : 0);
    showLines();
    changed();
}

void TTariffForm::sbDefaultPlanClick()
{
    if (m_current < 0)
        return;
    m_set.setDefault(m_current);
    for (int i = 0; i < m_set.count(); ++i)
        lbPlans->item(i)->setText(m_set.title(i));
    changed();
}

void TTariffForm::sbAddRuleClick()
{
    const int row = GridRules->rowCount();
    m_showing = true;
    GridRules->insertRow(row);
    const QStringList defaults = {QString(),
                                  QString(),
                                  QString(),
                                  QString(),
                                  QStringLiteral("60"),
                                  QStringLiteral("60"),
                                  QStringLiteral("0"),
                                  QStringLiteral("0,00"),
                                  QString()};
    for (int c = 0; c < defaults.size(); ++c)
        GridRules->setItem(row, c, new QTableWidgetItem(defaults[c]));
    m_showing = false;
    changed();
    GridRules->setCurrentCell(row, 0);
    GridRules->setFocus();
}

void TTariffForm::sbDeleteRuleClick()
{
    const int row = GridRules->currentRow();
    if (row < 0)
        return;
    if (m_current >= 0)
        m_set.removeRule(m_current, row);
    GridRules->removeRow(row);
    changed();
}

bool TTariffForm::checkPlans()
{
    if (!storeRules())
        return false;
    const std::optional<tariff::PlanSet::Fault> fault = m_set.fault();
    if (!fault)
        return true;
    if (fault->plan >= 0) {
        lbPlansCurrentRowChanged(fault->plan);
        {
            const QSignalBlocker block(lbPlans);
            lbPlans->setCurrentRow(fault->plan);
        }
        ePlanName->setFocus();
    }
    Messages::error(fault->text, this);
    return false;
}

bool TTariffForm::bbSaveClick()
{
    if (!m_hasTables)
        return true;
    lStatus->clear();
    if (!checkPlans())
        return false;
    const QString current = m_current >= 0 ? m_set.plan(m_current).name : QString();
    const QString kept = QStringLiteral("\nИзменения не записаны и остаются в окне.");
    try {
        switch (tariff::save(m_dm, m_set.plans(), m_set.linePlans())) {
        case TDM::WriteResult::Written:
            break;
        case TDM::WriteResult::Refused:
            Messages::error(tariff::writeErrorText(m_dm.WriteRefusal()) + kept, this);
            return false;
        case TDM::WriteResult::NotCommitted:
            return false; // reported; the edits stay
        }
    } catch (const db::DbError& e) {
        Messages::error(TDM::FailureText(e) + kept, this);
        return false;
    }
    // The call list and the statistics price by the data module's book: the saved one.
    try {
        m_dm.LoadTariffs();
    } catch (const db::DbError&) {
        // the call list reads the book again at its next run
    }
    loadFromDatabase();
    if (const int index = m_set.indexOf(current); index >= 0)
        showPlans(index);
    showSaved(QStringLiteral("Тарифы сохранены в %1 (планов: %2, правил: %3).")
                  .arg(QTime::currentTime().toString(QStringLiteral("HH:mm")))
                  .arg(m_set.count())
                  .arg(m_set.ruleCount()));
    return true;
}

void TTariffForm::bbCreateTablesClick()
{
    if (!Messages::confirm(
            QStringLiteral("Создать в базе данных таблицы тарифов (TariffPlans, TariffRules, "
                           "LineTariffs) и план «Типовой»? Таблицы сборщика звонков не "
                           "изменяются."),
            this))
        return;
    const QString notCreated = QStringLiteral("Таблицы тарифов не созданы.\n");
    try {
        if (tariff::createTables(m_dm) == TDM::WriteResult::Refused)
            Messages::error(notCreated + tariff::writeErrorText(m_dm.WriteRefusal()), this);
    } catch (const db::DbError& e) {
        Messages::error(notCreated + TDM::FailureText(e), this);
    }
    loadFromDatabase();
}

void TTariffForm::sbCheckClick()
{
    if (!storeRules())
        return;
    lCheckResult->setText(m_set.checkCall(cbCheckLine->currentData().toInt(), eCheckDate->date(),
                                          eCheckNumber->text(), eCheckSeconds->value()));
    if (tariff::PlanSet::digitsOf(eCheckNumber->text()).isEmpty())
        eCheckNumber->setFocus();
}

QString TTariffForm::chooseFile(bool forSaving)
{
    QString name = g_nextFileName;
    g_nextFileName.clear();
    if (name.isEmpty()) {
        QFileDialog dialog(this, forSaving ? QStringLiteral("Экспорт правил")
                                           : QStringLiteral("Импорт правил"));
        dialog.setObjectName(QStringLiteral("CsvDialog"));
        dialog.setNameFilters(
            {QStringLiteral("Прайс-лист CSV (*.csv)"), QStringLiteral("Все файлы (*)")});
        if (forSaving) {
            dialog.setAcceptMode(QFileDialog::AcceptSave);
            dialog.setFileMode(QFileDialog::AnyFile);
            dialog.setDefaultSuffix(QStringLiteral("csv"));
        } else {
            dialog.setFileMode(QFileDialog::ExistingFile);
        }
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return {};
        name = dialog.selectedFiles().constFirst();
    }
    // A name typed without an extension gets the price list's (a dialog of the desktop may not
    // add it), and a file of that name is not replaced unasked.
    if (forSaving && QFileInfo(name).suffix().isEmpty()) {
        name += QStringLiteral(".csv");
        if (QFileInfo::exists(name) &&
            !Messages::confirm(QStringLiteral("Файл %1 уже есть. Заменить его?")
                                   .arg(QDir::toNativeSeparators(name)),
                               this))
            return {};
    }
    return name;
}

void TTariffForm::sbImportClick()
{
    if (m_current < 0 || !storeRules())
        return;
    const QString fileName = chooseFile(false);
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        Messages::error(QStringLiteral("Не удалось прочитать файл %1: %2")
                            .arg(QDir::toNativeSeparators(fileName), file.errorString()),
                        this);
        return;
    }
    const tariff::CsvImport read = tariff::readCsv(file.readAll());
    const QString planName = m_set.plan(m_current).name;
    if (!read.error.isEmpty()) {
        Messages::error(
            read.error + QStringLiteral("\nПравила плана «%1» не изменены.").arg(planName), this);
        return;
    }
    if (!read.refused.empty()) {
        QStringList lines;
        for (const auto& [number, why] : read.refused)
            lines << QStringLiteral("строка %1: %2").arg(number).arg(why);
        Messages::error(
            QStringLiteral("Прочитано правил: %1, отклонено строк: %2.\n")
                    .arg(read.rules.size())
                    .arg(read.refused.size()) +
                lines.mid(0, 30).join(u'\n') +
                (lines.size() > 30 ? QStringLiteral("\n…") : QString()) +
                QStringLiteral("\nИсправьте файл; правила плана «%1» не изменены.").arg(planName),
            this);
        return;
    }
    if (read.rules.empty()) {
        Messages::error(QStringLiteral("В файле нет ни одного правила. Правила плана «%1» не "
                                       "изменены.")
                            .arg(planName),
                        this);
        return;
    }
    // What was read, the first rules in full, and what it will do to the plan.
    constexpr int Listed = 10;
    QStringList lines;
    for (std::size_t i = 0; i < read.rules.size() && i < std::size_t(Listed); ++i)
        lines << QStringLiteral("%1. %2").arg(i + 1).arg(read.rules[i].summary());
    if (read.rules.size() > std::size_t(Listed))
        lines << QStringLiteral("… и еще %1").arg(read.rules.size() - std::size_t(Listed));
    const std::size_t replaced = m_set.plan(m_current).rules.size();
    const QString question =
        replaced == 0
            ? QStringLiteral("В плане «%1» правил пока нет. Записать в него прочитанные и "
                             "сохранить тарифы?")
                  .arg(planName)
            : QStringLiteral("Заменить ими правила плана «%1» (сейчас их %2) и сохранить "
                             "тарифы?")
                  .arg(planName)
                  .arg(replaced);
    if (!Messages::confirm(QStringLiteral("Прочитано правил: %1\n").arg(read.rules.size()) +
                               lines.join(u'\n') + QStringLiteral("\n\n") + question,
                           this))
        return;
    std::vector<tariff::Rule> kept = m_set.replaceRules(m_current, read.rules);
    showRules();
    changed();
    if (!bbSaveClick()) {
        m_set.replaceRules(m_current, std::move(kept));
        showRules();
    }
}

void TTariffForm::sbExportClick()
{
    if (m_current < 0 || !storeRules())
        return;
    const QString fileName = chooseFile(true);
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    const tariff::Plan& plan = m_set.plan(m_current);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(tariff::writeCsv(plan.rules)) < 0 || !file.flush()) {
        Messages::error(QStringLiteral("Не удалось записать файл %1: %2")
                            .arg(QDir::toNativeSeparators(fileName), file.errorString()),
                        this);
        return;
    }
    showSaved(QStringLiteral("Правила плана «%1» (%2) записаны в %3.")
                  .arg(plan.name)
                  .arg(plan.rules.size())
                  .arg(QDir::toNativeSeparators(fileName)));
}

void TTariffForm::bbCloseClick()
{
    reject();
}

void TTariffForm::reject()
{
    if (m_dirty && !Messages::confirm(QStringLiteral("Изменения тарифов не сохранены. Закрыть "
                                                     "окно без сохранения?"),
                                      this))
        return;
    QDialog::reject();
}
