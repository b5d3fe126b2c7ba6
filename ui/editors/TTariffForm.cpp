// The "Тарифы" window: tariff plans, their rules, each line's plan, and a check of one call.
#include "TTariffForm.h"

#include "app/Messages.h"
#include "data/TDM.h"
#include "data/TariffCsv.h"
#include "data/TariffStore.h"
#include "db/DbError.h"
#include "db/Query.h"
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
#include <QRegularExpression>
#include <QScreen>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QTime>
#include <QVBoxLayout>

#include <algorithm>

namespace {

QString g_nextFileName;
const QString DefaultMark = QStringLiteral(" (по умолчанию)");

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

TTariffForm::TTariffForm(TDM& dm, QWidget* parent) : QDialog(parent), m_dm(dm)
{
    setObjectName(QStringLiteral("TTariffForm"));
    setWindowTitle(QStringLiteral("Тарифы"));

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
        m_plans[std::size_t(m_current)].name = text;
        lbPlans->item(m_current)->setText(planTitle(m_plans[std::size_t(m_current)]));
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
    bbSave = button(QStringLiteral("Сохранить"), "bbSave", this);
    bbClose = button(QStringLiteral("Закрыть"), "bbClose", this);
    connect(bbSave, &QPushButton::clicked, this, [this] { bbSaveClick(); });
    connect(bbClose, &QPushButton::clicked, this, &TTariffForm::bbCloseClick);

    auto* top = new QHBoxLayout;
    top->addWidget(plans, 1);
    top->addWidget(rules, 3);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lines, 1);
    bottom->addWidget(check, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(lStatus, 1);
    buttons->addWidget(bbSave);
    buttons->addWidget(bbClose);
    auto* v = new QVBoxLayout(this);
    v->addLayout(missing);
    v->addLayout(top, 3);
    v->addLayout(bottom, 2);
    v->addLayout(buttons);

    // As large as the window was made for, within the screen it opens on.
    QSize size(1100, 720);
    if (const QScreen* screen = this->screen())
        size = size.boundedTo(screen->availableGeometry().size() - QSize(24, 48));
    resize(size);

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
    m_plans.clear();
    m_linePlans.clear();
    m_lines.clear();
    m_hasTables = false;
    ui::guarded(this, [&] {
        m_dm.EnsureUsable();
        m_hasTables = tariff::hasTables(m_dm.ibDatabase, m_dm.ibTranRO);
        db::Query q(m_dm.ibDatabase, m_dm.ibTranRO);
        q.sql().add(QStringLiteral("SELECT NumberLine,NumberTown FROM Lines ORDER BY NumberLine"));
        q.open();
        for (; !q.eof(); q.next()) {
            const qint64 town = q.field(QStringLiteral("NumberTown")).asInt64();
            m_lines.emplace_back(
                q.field(QStringLiteral("NumberLine")).asInteger(),
                town > 0 ? m_dm.MainObject->FormatPhoneNumber(QString::number(town)) : QString());
        }
        if (!m_hasTables)
            return;
        const std::shared_ptr<const tariff::TariffBook> book =
            tariff::load(m_dm.ibDatabase, m_dm.ibTranRO);
        m_plans = book->plans();
        m_linePlans = book->linePlans();
    });
    lNoTables->setVisible(!m_hasTables);
    bbCreateTables->setVisible(!m_hasTables);
    setEditable(m_hasTables);
    {
        // The line chosen for the check stays chosen.
        const QVariant chosen = cbCheckLine->currentData();
        const QSignalBlocker block(cbCheckLine);
        cbCheckLine->clear();
        for (const auto& [line, town] : m_lines)
            cbCheckLine->addItem(town.isEmpty() ? QString::number(line)
                                                : QStringLiteral("%1 (%2)").arg(line).arg(town),
                                 line);
        cbCheckLine->setCurrentIndex(std::max(0, cbCheckLine->findData(chosen)));
    }
    m_current = -1;
    showPlans(m_plans.empty() ? -1 : 0);
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

QString TTariffForm::planTitle(const tariff::Plan& plan) const
{
    return plan.name + (plan.isDefault ? DefaultMark : QString());
}

void TTariffForm::showPlans(int select)
{
    {
        const QSignalBlocker block(lbPlans);
        lbPlans->clear();
        for (const tariff::Plan& p : m_plans)
            lbPlans->addItem(planTitle(p));
        m_current = select;
        lbPlans->setCurrentRow(select);
    }
    const bool any = m_current >= 0;
    ePlanName->setText(any ? m_plans[std::size_t(m_current)].name : QString());
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
        const std::vector<tariff::Rule>& rules = m_plans[std::size_t(m_current)].rules;
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
        const int line = m_lines[std::size_t(r)].first;
        GridLinePlans->setItem(r, 0, new QTableWidgetItem(QString::number(line)));
        GridLinePlans->setItem(r, 1, new QTableWidgetItem(m_lines[std::size_t(r)].second));
        auto* combo = new QComboBox(GridLinePlans);
        combo->setObjectName(QStringLiteral("cbLinePlan%1").arg(line));
        // A list reads as its chosen plan; the description says whose plan it is.
        combo->setAccessibleName(QStringLiteral("Тарифный план линии %1").arg(line));
        combo->setAccessibleDescription(QStringLiteral("Тарифный план линии %1").arg(line));
        combo->addItem(QStringLiteral("(по умолчанию)"), 0);
        for (const tariff::Plan& p : m_plans)
            combo->addItem(p.name, p.id);
        const int index = combo->findData(m_linePlans.value(line, 0));
        combo->setCurrentIndex(index < 0 ? 0 : index);
        // The cell under the list holds the plan's name as well: a screen reader walking the
        // table reads the cells, not the widgets over them.
        auto* cell = new QTableWidgetItem(combo->currentText());
        GridLinePlans->setItem(r, 2, cell);
        connect(combo, &QComboBox::currentIndexChanged, this, [this, combo, cell, line] {
            const int plan = combo->currentData().toInt();
            if (plan == 0)
                m_linePlans.remove(line);
            else
                m_linePlans.insert(line, plan);
            cell->setText(combo->currentText());
            changed();
        });
        combo->setEnabled(m_hasTables);
        GridLinePlans->setCellWidget(r, 2, combo);
    }
}

bool TTariffForm::storeRules(bool report)
{
    if (m_current < 0)
        return true;
    tariff::Plan& plan = m_plans[std::size_t(m_current)];
    std::vector<tariff::Rule> rules;
    for (int r = 0; r < GridRules->rowCount(); ++r) {
        QStringList fields;
        bool empty = true;
        for (int c = 0; c < GridRules->columnCount(); ++c) {
            const QTableWidgetItem* item = GridRules->item(r, c);
            fields << (item ? item->text() : QString());
            empty = empty && fields.last().trimmed().isEmpty();
        }
        if (empty)
            continue; // a row added and left blank
        tariff::Rule rule;
        if (r < int(plan.rules.size()))
            rule.id = plan.rules[std::size_t(r)].id;
        QString why;
        if (!tariff::ruleFromFields(fields, rule, why)) {
            const QStringList titles = tariff::ruleTitles();
            int column = 0;
            for (int c = 0; c < titles.size(); ++c)
                if (why.startsWith(titles[c] + u':'))
                    column = c;
            GridRules->setCurrentCell(r, column);
            if (report)
                Messages::error(QStringLiteral("План «%1», правило %2: %3. Исправьте значение; "
                                               "ничего не записано.")
                                    .arg(plan.name)
                                    .arg(r + 1)
                                    .arg(why),
                                this);
            return false;
        }
        rules.push_back(rule);
    }
    plan.rules = std::move(rules);
    return true;
}

void TTariffForm::lbPlansCurrentRowChanged(int row)
{
    if (row == m_current)
        return;
    if (!storeRules(true)) {
        const QSignalBlocker block(lbPlans);
        lbPlans->setCurrentRow(m_current);
        return;
    }
    m_current = row;
    ePlanName->setText(row >= 0 ? m_plans[std::size_t(row)].name : QString());
    showRules();
}

QString TTariffForm::uniqueName(const QString& base) const
{
    auto taken = [this](const QString& name) {
        for (const tariff::Plan& p : m_plans)
            if (p.name.trimmed().compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    QString name = base;
    for (int n = 2; taken(name); ++n)
        name = base + QStringLiteral(" %1").arg(n);
    return name;
}

void TTariffForm::sbNewPlanClick()
{
    if (!storeRules(true))
        return;
    tariff::Plan p;
    p.id = m_nextNewId--;
    p.name = uniqueName(QStringLiteral("Новый план"));
    p.isDefault = m_plans.empty();
    m_plans.push_back(p);
    showPlans(int(m_plans.size()) - 1);
    showLines();
    changed();
    ePlanName->setFocus();
    ePlanName->selectAll();
}

void TTariffForm::sbStandardPlanClick()
{
    if (!storeRules(true))
        return;
    tariff::Plan p = tariff::standardPlan();
    p.id = m_nextNewId--;
    p.name = uniqueName(p.name);
    p.isDefault = m_plans.empty();
    m_plans.push_back(p);
    showPlans(int(m_plans.size()) - 1);
    showLines();
    changed();
}

void TTariffForm::sbDeletePlanClick()
{
    if (m_current < 0)
        return;
    const tariff::Plan& p = m_plans[std::size_t(m_current)];
    if (!Messages::confirm(
            QStringLiteral("Удалить тарифный план «%1» вместе с его правилами (%2)? Линии этого "
                           "плана перейдут на план по умолчанию.")
                .arg(p.name)
                .arg(p.rules.size()),
            this))
        return;
    const int id = p.id;
    const bool wasDefault = p.isDefault;
    m_plans.erase(m_plans.begin() + m_current);
    for (auto it = m_linePlans.begin(); it != m_linePlans.end();)
        it = it.value() == id ? m_linePlans.erase(it) : std::next(it);
    if (wasDefault && !m_plans.empty())
        m_plans.front().isDefault = true;
    m_current = -1;
    showPlans(m_plans.empty() ? -1 : 0);
    showLines();
    changed();
}

void TTariffForm::sbDefaultPlanClick()
{
    if (m_current < 0)
        return;
    for (std::size_t i = 0; i < m_plans.size(); ++i) {
        m_plans[i].isDefault = int(i) == m_current;
        lbPlans->item(int(i))->setText(planTitle(m_plans[i]));
    }
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
    if (m_current >= 0 && row < int(m_plans[std::size_t(m_current)].rules.size()))
        m_plans[std::size_t(m_current)].rules.erase(m_plans[std::size_t(m_current)].rules.begin() +
                                                    row);
    GridRules->removeRow(row);
    changed();
}

bool TTariffForm::checkPlans()
{
    if (!storeRules(true))
        return false;
    for (std::size_t i = 0; i < m_plans.size(); ++i) {
        const QString name = m_plans[i].name.trimmed();
        QString why;
        if (name.isEmpty())
            why = QStringLiteral("У тарифного плана нет названия.");
        for (std::size_t j = 0; j < i && why.isEmpty(); ++j)
            if (m_plans[j].name.trimmed().compare(name, Qt::CaseInsensitive) == 0)
                why = QStringLiteral("Два тарифных плана называются «%1».").arg(name);
        if (!why.isEmpty()) {
            lbPlansCurrentRowChanged(int(i));
            {
                const QSignalBlocker block(lbPlans);
                lbPlans->setCurrentRow(int(i));
            }
            ePlanName->setFocus();
            Messages::error(why + QStringLiteral(" Ничего не записано."), this);
            return false;
        }
    }
    const bool hasDefault = std::any_of(m_plans.begin(), m_plans.end(),
                                        [](const tariff::Plan& p) { return p.isDefault; });
    if (!m_plans.empty() && !hasDefault) {
        Messages::error(QStringLiteral("Отметьте план по умолчанию (кнопка «По умолчанию»): им "
                                       "оцениваются звонки линий без своего плана. Ничего не "
                                       "записано."),
                        this);
        return false;
    }
    return true;
}

bool TTariffForm::bbSaveClick()
{
    if (!m_hasTables)
        return true;
    lStatus->clear();
    if (!checkPlans())
        return false;
    const QString current = m_current >= 0 ? m_plans[std::size_t(m_current)].name : QString();
    bool saved = false;
    try {
        m_dm.EnsureUsable();
        tariff::save(m_dm.ibDatabase, m_dm.ibTran, m_plans, m_linePlans);
        saved = true;
    } catch (const db::DbError& e) {
        Messages::error(tariff::writeErrorText(e.message()) +
                            QStringLiteral("\nИзменения не записаны и остаются в окне."),
                        this);
        return false;
    }
    if (saved) {
        // The call list and the statistics price by the data module's book: the saved one.
        try {
            m_dm.LoadTariffs();
        } catch (const db::DbError&) {
            // the call list reads the book again at its next run
        }
        loadFromDatabase();
        for (std::size_t i = 0; i < m_plans.size(); ++i)
            if (m_plans[i].name == current)
                showPlans(int(i));
        std::size_t rules = 0;
        for (const tariff::Plan& p : m_plans)
            rules += p.rules.size();
        showSaved(QStringLiteral("Тарифы сохранены в %1 (планов: %2, правил: %3).")
                      .arg(QTime::currentTime().toString(QStringLiteral("HH:mm")))
                      .arg(m_plans.size())
                      .arg(rules));
    }
    return saved;
}

void TTariffForm::bbCreateTablesClick()
{
    if (!Messages::confirm(
            QStringLiteral("Создать в базе данных таблицы тарифов (TariffPlans, TariffRules, "
                           "LineTariffs) и план «Типовой»? Таблицы сборщика звонков не "
                           "изменяются."),
            this))
        return;
    try {
        m_dm.EnsureUsable();
        tariff::createTables(m_dm.ibDatabase, m_dm.ibTran);
    } catch (const db::DbError& e) {
        Messages::error(QStringLiteral("Таблицы тарифов не созданы.\n") +
                            tariff::writeErrorText(e.message()),
                        this);
    }
    loadFromDatabase();
}

void TTariffForm::sbCheckClick()
{
    if (!storeRules(true))
        return;
    QString digits = eCheckNumber->text();
    digits.remove(QRegularExpression(QStringLiteral("[^0-9]")));
    if (digits.isEmpty()) {
        lCheckResult->setText(QStringLiteral("Введите номер."));
        eCheckNumber->setFocus();
        return;
    }
    std::vector<tariff::Plan> plans = m_plans;
    const tariff::TariffBook book(std::move(plans), m_linePlans);
    const int line = cbCheckLine->currentData().toInt();
    const qint64 seconds = eCheckSeconds->value();
    const QDate day = eCheckDate->date();
    const tariff::Rating r = book.rate(line, day, digits, seconds);
    const tariff::Plan* plan = book.planOf(line);
    QString text;
    if (!plan) {
        text = QStringLiteral("Без тарифа: у линии нет своего плана и нет плана по умолчанию.");
    } else if (r.rule < 0) {
        text = QStringLiteral("Без тарифа: в плане «%1» нет правила для номера %2 на %3.")
                   .arg(plan->name, digits, day.toString(QStringLiteral("dd.MM.yyyy"))) +
               whyNoRule(book, line, digits, day);
    } else {
        text =
            book.explain(r, seconds) + QStringLiteral("\nЗона: %1; к оплате %2 сек; стоимость %3")
                                           .arg(book.rule(r.rule).zone)
                                           .arg(r.billed)
                                           .arg(tariff::kopecksText(r.cost));
    }
    lCheckResult->setText(text);
}

QString TTariffForm::whyNoRule(const tariff::TariffBook& book, int line, const QString& digits,
                               const QDate& day) const
{
    QStringList why;
    for (const int index : book.prefixRules(line, digits)) {
        const tariff::Rule& rule = book.rule(index);
        const QString fits = rule.prefix.isEmpty()
                                 ? QStringLiteral("Правило «%1» (любой номер)").arg(rule.zone)
                                 : QStringLiteral("Префикс %1 подходит, но правило «%2»")
                                       .arg(rule.prefix, rule.zone);
        if (!rule.fitsLength(int(digits.size())))
            why << fits + QStringLiteral(" — для номеров длины %1, а в номере цифр: %2.")
                              .arg(rule.lengthText())
                              .arg(digits.size());
        else if (rule.validFrom.isValid() && rule.validFrom > day)
            why << fits + QStringLiteral(" действует только с %1.")
                              .arg(rule.validFrom.toString(QStringLiteral("dd.MM.yyyy")));
        if (why.size() == 3)
            break;
    }
    return why.isEmpty() ? QString() : u'\n' + why.join(u'\n');
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
    if (m_current < 0 || !storeRules(true))
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
    const QString planName = m_plans[std::size_t(m_current)].name;
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
    const std::size_t replaced = m_plans[std::size_t(m_current)].rules.size();
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
    std::vector<tariff::Rule> kept = std::move(m_plans[std::size_t(m_current)].rules);
    m_plans[std::size_t(m_current)].rules = read.rules;
    showRules();
    changed();
    if (!bbSaveClick()) {
        m_plans[std::size_t(m_current)].rules = std::move(kept);
        showRules();
    }
}

void TTariffForm::sbExportClick()
{
    if (m_current < 0 || !storeRules(true))
        return;
    const QString fileName = chooseFile(true);
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    const tariff::Plan& plan = m_plans[std::size_t(m_current)];
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
