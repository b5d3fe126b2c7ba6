// The "Тарифы" window: tariff plans, their rules, each line's plan, and a check of one call.
#pragma once

#include "data/Tariffs.h"

#include <QDialog>
#include <QHash>

#include <vector>

class DateField;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTableWidget;
class TDM;

/// Edits a copy of the database's tariffs; "Сохранить" writes the whole copy in one
/// transaction. A value the operator typed wrong is refused with the plan, the row and the
/// field named, and the edits stay. On a database without the tariff tables only the offer to
/// create them is enabled.
class TTariffForm : public QDialog
{
    Q_OBJECT
public:
    explicit TTariffForm(TDM& dm, QWidget* parent = nullptr);

    /// The file the next import or export uses instead of asking (tests); consumed. An export's
    /// name without an extension gets ".csv", as one typed in the file dialog does.
    static void setNextFileName(const QString& fileName);

    QLabel* lNoTables = nullptr;
    QPushButton* bbCreateTables = nullptr;
    QListWidget* lbPlans = nullptr;
    QLineEdit* ePlanName = nullptr;
    QPushButton* sbNewPlan = nullptr;
    QPushButton* sbDeletePlan = nullptr;
    QPushButton* sbDefaultPlan = nullptr;
    QPushButton* sbStandardPlan = nullptr;
    QTableWidget* GridRules = nullptr;
    QPushButton* sbAddRule = nullptr;
    QPushButton* sbDeleteRule = nullptr;
    QPushButton* sbImport = nullptr;
    QPushButton* sbExport = nullptr;
    QTableWidget* GridLinePlans = nullptr;
    QLineEdit* eCheckNumber = nullptr;
    DateField* eCheckDate = nullptr;
    QComboBox* cbCheckLine = nullptr;
    QSpinBox* eCheckSeconds = nullptr;
    QPushButton* sbCheck = nullptr;
    QLabel* lCheckResult = nullptr;
    /// What the last save or export did ("Тарифы сохранены …").
    QLabel* lStatus = nullptr;
    QPushButton* bbSave = nullptr;
    QPushButton* bbClose = nullptr;

    void bbCreateTablesClick();
    void lbPlansCurrentRowChanged(int row);
    void sbNewPlanClick();
    void sbDeletePlanClick();
    void sbDefaultPlanClick();
    void sbStandardPlanClick();
    void sbAddRuleClick();
    void sbDeleteRuleClick();
    void sbImportClick();
    void sbExportClick();
    void sbCheckClick();
    /// True when the tariffs were written (or nothing was changed).
    bool bbSaveClick();
    void bbCloseClick();

protected:
    void reject() override;

private:
    void loadFromDatabase();
    void showPlans(int select);
    void showRules();
    void showLines();
    QString planTitle(const tariff::Plan& plan) const;
    /// Reads the rules grid back into the current plan; false (the failing cell selected,
    /// the reason shown when `report`) when a value is wrong.
    bool storeRules(bool report);
    bool checkPlans();
    QString uniqueName(const QString& base) const;
    QString chooseFile(bool forSaving);
    void setEditable(bool on);
    /// The copy was edited: it is to be saved, and the check's answer no longer holds.
    void changed();
    void showSaved(const QString& text);
    /// Why no rule of the plan priced the number: the rules whose prefix fits but whose length
    /// condition or date does not.
    QString whyNoRule(const tariff::TariffBook& book, int line, const QString& digits,
                      const QDate& day) const;

    TDM& m_dm;
    std::vector<tariff::Plan> m_plans;
    QHash<int, int> m_linePlans;                  // line -> plan id
    std::vector<std::pair<int, QString>> m_lines; // line number, city number as shown
    int m_current = -1;
    int m_nextNewId = -1; // plans not stored yet have ids below 1
    bool m_hasTables = false;
    bool m_dirty = false;
    bool m_showing = false; // the grids are being filled, not edited
};
