// The editor of the phone-number grouping, one choice per number length.
#pragma once

#include "ui/common/DialogFrame.h"

class QComboBox;
class QPushButton;
class TMainObject;

/// "Сохранить" puts the seven choices into the settings object (written at program end);
/// "Отменить" or Escape changes nothing.
class TNumMaskForm : public ui::DialogFrame
{
    Q_OBJECT
public:
    explicit TNumMaskForm(TMainObject& settings, QWidget* parent = nullptr);

    QComboBox* cbNum[7] = {}; // cbNum5 .. cbNum11
    QPushButton* bbSave = nullptr;
    QPushButton* bbCancel = nullptr;

    void bbSaveClick();

private:
    TMainObject& m_settings;
};
