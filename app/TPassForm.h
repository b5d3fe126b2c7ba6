// The login window: user name and password, opens the database.
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class TDM;

/// Result 1 after a successful connection, 2 otherwise. What counts afterwards is
/// MainObject->Connected.
class TPassForm : public QDialog
{
    Q_OBJECT
public:
    explicit TPassForm(TDM& dm, QWidget* parent = nullptr);
    ~TPassForm() override;

    QLineEdit* eUserName = nullptr;
    QLineEdit* meUserPass = nullptr;
    QCheckBox* cbMemoryName = nullptr;
    QPushButton* bbOk = nullptr;
    QPushButton* bbCancel = nullptr;

    void ChooseFocus();
    void bbOkClick();
    void bbCancelClick();

public slots:
    void reject() override { done(2); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    TDM& m_dm;
    bool m_arrowCursor = false;
};
