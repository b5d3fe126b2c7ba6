// What the directory editors share: the look, the two buttons, Escape as cancel.
#pragma once

#include <QDialog>

class QBoxLayout;
class QPushButton;
class TDM;

/// Results: 1 after a save that was committed, 2 for "Отменить", Escape or the close box.
class EditorDialog : public QDialog
{
    Q_OBJECT
public:
    EditorDialog(TDM& dm, const QString& caption, QWidget* parent);

    QPushButton* bbSave = nullptr;
    QPushButton* bbCancel = nullptr;

    /// The name of the class' save handler, connected by the base.
    virtual void bbSaveClick() = 0;

public slots:
    void reject() override { done(2); }

protected:
    /// Lays out the form above the buttons; call once from the constructor.
    void finishLayout(QLayout* form);
    /// Loading runs once, when the window first shows.
    virtual void FormActivate() {}
    void showEvent(QShowEvent* event) override;

    TDM& m_dm;

private:
    bool m_loaded = false;
};
