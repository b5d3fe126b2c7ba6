// The "Тарифы" window: tariff plans, their rules, each line's plan, and a check of one call.
#pragma once

#include "data/Tariffs.h"

#include <QDialog>
#include <QHash>

#include <vector>

class QComboBox;
class QDateEdit;
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

    /// The file the next import or export uses instead of asking (tests); consumed.
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
    QDateEdit* eCheckDate = nullptr;
    QComboBox* cbCheckLine = nullptr;
    QSpinBox* eCheckSeconds = nullptr;
    QPushButton* sbCheck = nullptr;
    QLabel* lCheckResult = nullptr;
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
    void changed() { m_dirty = true; }

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
