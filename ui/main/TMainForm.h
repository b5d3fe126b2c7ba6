// The main window of the program.
#pragma once

#include <QMainWindow>

class TDM;

/// Created hidden before the data module exists; bound to it with setDataModule(). At its
/// first activation it closes itself when the login did not open the database.
class TMainForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit TMainForm(QWidget* parent = nullptr);

    void setDataModule(TDM& dm);
    void FormActivate();

protected:
    void showEvent(QShowEvent* event) override;

private:
    TDM* m_dm = nullptr;
    bool m_activated = false;
};
