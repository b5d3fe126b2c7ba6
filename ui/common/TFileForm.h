// The export chooser: drive, directory, file name and format.
#pragma once

#include "DialogFrame.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;
namespace grid {
class DataGrid;
}

/// "Ok" writes ExportGrid, all of its rows, to the file named in EditNameFile with the
/// listed extension (which chooses the format) in the chosen directory, and closes. A file
/// that cannot be written is reported and the chooser stays open; no half-written file is
/// left under the name.
class TFileForm : public ui::DialogFrame
{
    Q_OBJECT
public:
    /// programDir: where the chooser starts every time it becomes active.
    explicit TFileForm(const QString& programDir, QWidget* parent = nullptr);

    grid::DataGrid* ExportGrid = nullptr;
    /// How long an export runs before its progress window (with "Отменить") shows, in ms.
    int ProgressDelayMs = 500;
    /// A table over any model, written when ExportGrid is not set.
    QTableView* ExportView = nullptr;

    QComboBox* DriveComboBox1 = nullptr;
    QLabel* DirectoryLabel = nullptr;
    QListWidget* DirectoryListBox1 = nullptr;
    QListWidget* FileListBox1 = nullptr;
    QLineEdit* EditNameFile = nullptr;
    QComboBox* cbExt = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* BitBtn2 = nullptr;

    void FormActivate();
    void DriveComboBox1Change();
    void DirectoryListBox1Change();
    void cbExtChange();
    void FileListBox1Change();
    void BitBtn1Click();

    /// Makes `path` the chosen directory (and the program's current one).
    void setDirectory(const QString& path);
    QString directory() const { return m_directory; }
    /// The drive list's text for a volume's root path.
    static QString DriveText(const QString& rootPath);

public slots:
    void reject() override { done(2); }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// False when nothing was written: `cancelled` tells a cancel from a failure (`error`).
    bool exportTo(const QString& fileName, int extIndex, QString& error, bool& cancelled);

    QString m_programDir;
    QString m_directory;
    bool m_opened = false;           // the first activation has come
    bool m_windowClosedOver = false; // another of the program's windows closed since
};
