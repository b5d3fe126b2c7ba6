// The frame the program's dialogs share: the title, the window font, the bar of buttons at the
// foot, and which button Enter presses.
#pragma once

#include <QDialog>
#include <QStyle>

class QLayout;
class QPushButton;

namespace ui {

/// A dialog in the window font with a bar at its foot: what the window has to tell at the left
/// (when it has something), then the accepting button and the one that closes the window, each
/// with its icon. The closing button and Escape reject the dialog (reject() as the dialog
/// defines it); the accepting button is connected by the dialog.
class DialogFrame : public QDialog
{
    Q_OBJECT
public:
    struct Bar
    {
        QString accept = QStringLiteral("Сохранить");
        const char* acceptName = "bbSave";
        QStyle::StandardPixmap acceptIcon = QStyle::SP_DialogSaveButton;
        QString close = QStringLiteral("Отменить");
        const char* closeName = "bbCancel";
        QStyle::StandardPixmap closeIcon = QStyle::SP_DialogCancelButton;
        /// Enter presses the accepting button unless the focus is on another button; false: no
        /// button is pressed by Enter, which stays with the input that has the focus.
        bool enterAccepts = true;
        /// The window keeps the size its content asks for; false: the operator sizes it.
        bool fixedSize = true;
    };

    DialogFrame(const QString& title, QWidget* parent, const Bar& bar);

    /// Both exist once setContent has run.
    QPushButton* acceptButton() const { return m_accept; }
    QPushButton* closeButton() const { return m_close; }

protected:
    /// Lays out `content` above the bar, with `status` (when given) at the bar's left; called
    /// once, from the constructor, after the content's inputs are made (the buttons come after
    /// them when Tab goes round).
    void setContent(QLayout* content, QWidget* status = nullptr);

private:
    Bar m_bar;
    QPushButton* m_accept = nullptr;
    QPushButton* m_close = nullptr;
};

} // namespace ui
