// The "Тарифы" window: tariff plans, their rules, each line's plan, and a check of one call.
#pragma once

#include "data/PlanSet.h"
#include "data/TariffStore.h"
#include "ui/common/DialogFrame.h"

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

/// Edits a copy of the database's tariffs (a tariff::PlanSet, which holds the rules of editing
/// them); "Сохранить" writes the whole copy in one write of the data module. A value the operator
/// typed wrong is refused with the plan, the row and the field named, and the edits stay. On a
/// database without the tariff tables only the offer to create them is enabled.
class TTariffForm : public ui::DialogFrame
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
    /// Reads the rules grid back into the current plan; false (the failing cell selected,
    /// the reason shown) when a value is wrong.
    bool storeRules();
    /// Whether the set can be saved; when not, shows the plan at fault and says why.
    bool checkPlans();
    void addPlan(tariff::Plan plan);
    QString chooseFile(bool forSaving);
    void setEditable(bool on);
    /// The copy was edited: it is to be saved, and the check's answer no longer holds.
    void changed();
    void showSaved(const QString& text);

    TDM& m_dm;
    tariff::PlanSet m_set;
    std::vector<tariff::TariffLine> m_lines;
    int m_current = -1;
    bool m_hasTables = false;
    bool m_dirty = false;
    bool m_showing = false; // the grids are being filled, not edited
};
