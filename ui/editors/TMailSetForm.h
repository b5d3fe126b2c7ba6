// The window "Настройки почты": the server the reports are mailed through.
#pragma once

#include "ui/common/DialogFrame.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TMainObject;

/// Edits section [Mail] of the settings; "Сохранить" writes the settings file at once.
class TMailSetForm : public ui::DialogFrame
{
    Q_OBJECT
public:
    explicit TMailSetForm(TMainObject& settings, QWidget* parent = nullptr);

    QLineEdit* eServer = nullptr;
    QSpinBox* sePort = nullptr;
    QComboBox* cbSecurity = nullptr; // mail::Security by index
    QLineEdit* eUser = nullptr;
    QLineEdit* ePassword = nullptr;
    QLineEdit* eFrom = nullptr;
    QPushButton* bbSave = nullptr;
    QPushButton* bbCancel = nullptr;

    void bbSaveClick();
    void cbSecurityChange(int index);

private:
    TMainObject& m_settings;
};
