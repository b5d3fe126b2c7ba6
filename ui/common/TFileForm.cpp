#include "TFileForm.h"

#include "app/Messages.h"
#include "grid/DataGrid.h"
#include "grid/GridExporter.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStorageInfo>
#include <QStyle>

namespace {
// The first four keep their places; the chooser starts on HTM, the third.
const QStringList Extensions = {QStringLiteral("RTF"),  QStringLiteral("TXT"),
                                QStringLiteral("HTM"),  QStringLiteral("XLS"),
                                QStringLiteral("XLSX"), QStringLiteral("CSV")};
} // namespace

TFileForm::TFileForm(const QString& programDir, QWidget* parent)
    : ui::DialogFrame(QStringLiteral("Файлы"), parent,
                      {.accept = QStringLiteral("Ok"),
                       .acceptName = "BitBtn1",
                       .acceptIcon = QStyle::SP_DialogOkButton,
                       .closeName = "BitBtn2",
                       .fixedSize = false}),
      m_programDir(programDir)
{
    setObjectName(QStringLiteral("FileForm"));

    DriveComboBox1 = new QComboBox(this);
    DriveComboBox1->setObjectName(QStringLiteral("DriveComboBox1"));
    // The mounted volumes stand for the drives.
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes())
        if (volume.isValid() && volume.isReady())
            DriveComboBox1->addItem(DriveText(volume.rootPath()), volume.rootPath());
    DirectoryLabel = new QLabel(this);
    DirectoryLabel->setObjectName(QStringLiteral("DirectoryLabel"));
    DirectoryLabel->setWordWrap(true);
    DirectoryListBox1 = new QListWidget(this);
    DirectoryListBox1->setObjectName(QStringLiteral("DirectoryListBox1"));
    FileListBox1 = new QListWidget(this);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    EditNameFile = new QLineEdit(this);
    EditNameFile->setObjectName(QStringLiteral("EditNameFile"));
    cbExt = new QComboBox(this);
    cbExt->setObjectName(QStringLiteral("cbExt"));
    cbExt->addItems(Extensions);

    auto* nameLabel = new QLabel(QStringLiteral("Имя файла"), this);
    nameLabel->setBuddy(EditNameFile);
    auto* dot = new QLabel(QStringLiteral("."), this);
    dot->setBuddy(cbExt);
    auto* driveLabel = new QLabel(QStringLiteral("Диск"), this);
    driveLabel->setBuddy(DriveComboBox1);
    auto* dirLabel = new QLabel(QStringLiteral("Папка"), this);
    dirLabel->setBuddy(DirectoryListBox1);
    auto* filesLabel = new QLabel(QStringLiteral("Файлы"), this);
    filesLabel->setBuddy(FileListBox1);

    auto* g = new QGridLayout;
    g->addWidget(nameLabel, 0, 0);
    auto* name = new QHBoxLayout;
    name->addWidget(EditNameFile, 1);
    name->addWidget(dot);
    name->addWidget(cbExt);
    g->addLayout(name, 1, 0);
    g->addWidget(filesLabel, 2, 0);
    g->addWidget(FileListBox1, 3, 0, 3, 1);
    g->addWidget(dirLabel, 0, 1);
    g->addWidget(DirectoryLabel, 1, 1);
    g->addWidget(DirectoryListBox1, 2, 1, 2, 1);
    g->addWidget(driveLabel, 4, 1);
    g->addWidget(DriveComboBox1, 5, 1);
    setContent(g);
    BitBtn1 = acceptButton();
    BitBtn2 = closeButton();
    resize(560, 380);

    connect(DriveComboBox1, &QComboBox::activated, this, &TFileForm::DriveComboBox1Change);
    connect(DirectoryListBox1, &QListWidget::itemActivated, this, [this](QListWidgetItem* item) {
        setDirectory(QDir(m_directory).absoluteFilePath(item->data(Qt::UserRole).toString()));
    });
    connect(cbExt, &QComboBox::currentIndexChanged, this, &TFileForm::cbExtChange);
    // The selection, not the current item: a mouse press moves the current item before it
    // selects.
    connect(FileListBox1, &QListWidget::itemSelectionChanged, this, &TFileForm::FileListBox1Change);
    connect(BitBtn1, &QPushButton::clicked, this, &TFileForm::BitBtn1Click);
    FormActivate();
    qApp->installEventFilter(this);
}

QString TFileForm::DriveText(const QString& rootPath)
{
    // Drive letters in upper case; mount points of systems without letters as they are.
    static const QRegularExpression letter(QStringLiteral("^[A-Za-z]:[/\\\\]?$"));
    const QString native = QDir::toNativeSeparators(rootPath);
    return letter.match(rootPath).hasMatch() ? native.toUpper() : native;
}

bool TFileForm::event(QEvent* event)
{
    // Only the chooser's own opening and the closing of another of the program's windows over
    // it start it over; coming back from another application does not.
    if (event->type() == QEvent::WindowActivate && (!m_opened || m_windowClosedOver)) {
        m_opened = true;
        m_windowClosedOver = false;
        FormActivate();
    }
    return QDialog::event(event);
}

bool TFileForm::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Hide && watched != this && watched->isWidgetType()) {
        const auto* w = static_cast<QWidget*>(watched);
        if (w->isWindow() && w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip &&
            isVisible())
            m_windowClosedOver = true;
    }
    return QDialog::eventFilter(watched, event);
}

void TFileForm::FormActivate()
{
    // The chooser starts over in the program's folder on HTM, keeping a name being typed.
    const QString typed = EditNameFile->text();
    {
        const QSignalBlocker block(cbExt);
        cbExt->setCurrentIndex(2);
    }
    setDirectory(m_programDir);
    const QString root = QStorageInfo(m_programDir).rootPath();
    const int drive = DriveComboBox1->findData(root);
    if (drive >= 0)
        DriveComboBox1->setCurrentIndex(drive);
    EditNameFile->setText(typed);
}

void TFileForm::DriveComboBox1Change()
{
    const QString root = DriveComboBox1->currentData().toString();
    const QDir dir(root);
    if (root.isEmpty() || !dir.exists() || !dir.isReadable()) {
        DirectoryListBox1->setEnabled(false); // no medium: no directories to show
        return;
    }
    DirectoryListBox1->setEnabled(true);
    setDirectory(root);
}

void TFileForm::setDirectory(const QString& path)
{
    m_directory = QDir(path).absolutePath();
    QDir::setCurrent(m_directory);
    DirectoryListBox1Change();
}

void TFileForm::DirectoryListBox1Change()
{
    DirectoryLabel->setText(QDir::toNativeSeparators(m_directory));
    DirectoryListBox1->clear();
    const QDir dir(m_directory);
    if (!dir.isRoot()) {
        auto* up = new QListWidgetItem(QStringLiteral(".."), DirectoryListBox1);
        up->setData(Qt::UserRole, QStringLiteral(".."));
    }
    for (const QString& sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        auto* item =
            new QListWidgetItem(style()->standardIcon(QStyle::SP_DirIcon), sub, DirectoryListBox1);
        item->setData(Qt::UserRole, sub);
    }
    cbExtChange();
}

void TFileForm::cbExtChange()
{
    FileListBox1->clear();
    const QString mask = QStringLiteral("*.") + cbExt->currentText();
    const QDir dir(m_directory);
    for (const QFileInfo& f : dir.entryInfoList({mask}, QDir::Files, QDir::Name | QDir::IgnoreCase))
        new QListWidgetItem(f.fileName(), FileListBox1);
    FileListBox1Change(); // nothing is selected in a refilled list
}

void TFileForm::FileListBox1Change()
{
    const QList<QListWidgetItem*> selected = FileListBox1->selectedItems();
    EditNameFile->setText(selected.isEmpty() ? QString() : selected.front()->text());
}

void TFileForm::BitBtn1Click()
{
    QString name = EditNameFile->text();
    if (const qsizetype dot = name.indexOf(u'.'); dot >= 0) {
        name = name.left(dot);
        EditNameFile->setText(name);
    }
    if (name.trimmed().isEmpty()) {
        Messages::plain(QStringLiteral("Запишите имя файла !"), this);
        FormActivate(); // the chooser starts over, as when it becomes active again
        return;
    }
    const int index = cbExt->currentIndex();
    if (ExportGrid || ExportView) {
        const QString fileName = name + u'.' + cbExt->currentText();
        QString error;
        bool cancelled = false;
        if (!exportTo(fileName, index, error, cancelled)) {
            if (cancelled) {
                reject(); // a cancel is not a failure: nothing is written, nothing to report
                return;
            }
            Messages::error(
                QStringLiteral("Не удалось записать файл %1\n%2")
                    .arg(QDir::toNativeSeparators(QDir(m_directory).absoluteFilePath(fileName)),
                         error),
                this);
            return;
        }
    }
    done(1);
}

bool TFileForm::exportTo(const QString& fileName, int extIndex, QString& error, bool& cancelled)
{
    cancelled = false;
    static const grid::ExportFormat formats[] = {grid::ExportFormat::Rtf,  grid::ExportFormat::Text,
                                                 grid::ExportFormat::Html, grid::ExportFormat::Xls,
                                                 grid::ExportFormat::Xlsx, grid::ExportFormat::Csv};
    const grid::ExportFormat format = extIndex >= 0 && extIndex < int(std::size(formats))
                                          ? formats[extIndex]
                                          : grid::ExportFormat::Text;
    grid::ExportOptions options;
    options.sheetName = QStringLiteral("Лист");
    const auto exporter = grid::makeExporter(format, options);
    const grid::GridTable table =
        ExportGrid ? grid::GridTable(*ExportGrid) : grid::GridTable(*ExportView);

    // Written beside the old file and put in its place only when complete.
    QSaveFile file(QDir(m_directory).absoluteFilePath(fileName));
    if (!file.open(QIODevice::WriteOnly)) {
        error = file.errorString();
        return false;
    }
    QProgressDialog progress(QStringLiteral("Экспорт ..."), QStringLiteral("Отменить"), 0, 1000,
                             this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(ProgressDelayMs);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool written = exporter->write(file, table, [&](qint64 done, qint64 total) {
        if (done % 1000 == 0 || done == total) {
            progress.setValue(int(done * 1000 / std::max<qint64>(1, total)));
            if (progress.wasCanceled())
                return false;
        }
        return true;
    });
    QApplication::restoreOverrideCursor();
    if (!written) {
        error = exporter->errorString();
        cancelled = progress.wasCanceled();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}
