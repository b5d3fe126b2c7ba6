// The program's own message window sized to its text, a line or a few.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

/// Built for one message: the constructor does all the sizing, exec() shows it. Results:
/// 6 for "Да", 7 for "Нет", 2 for the close box.
class TDlgForm : public QDialog
{
    Q_OBJECT
public:
    TDlgForm(const QString& text, quint8 kind, quint8 buttons, const QString& caption,
             QWidget* parent = nullptr);

    QLabel* Picture[4] = {};
    QLabel* LabelAsk = nullptr;
    QPushButton* bbYes = nullptr;
    QPushButton* bbNo = nullptr;

    static constexpr int DesignWidth = 471;
    static constexpr int DesignHeight = 96;
    static constexpr int PictureWidth = 41;

protected:
    void keyPressEvent(QKeyEvent* event) override;

public slots:
    /// The close box: result 2.
    void reject() override { done(2); }
};

/// Shows the message modally and returns the button pressed (6, 7, or 2 for the close box).
int ShowDialog(const QString& text, quint8 kind, quint8 buttons, const QString& caption);
