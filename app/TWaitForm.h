// The small borderless "thinking" window, with an optional progress bar.
#pragma once

#include <QWidget>

class QLabel;
class QProgressBar;

/// Creating it turns the busy cursor on for the whole program; destroying it turns it off.
/// Closing it only hides it.
class TWaitForm : public QWidget
{
    Q_OBJECT
public:
    explicit TWaitForm(QWidget* parent = nullptr);
    ~TWaitForm() override;

    QProgressBar* ProgressBar = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_label = nullptr;
};
