#include "Commands.h"

#include "KelvoraApplication.h"

#include "data/TDM.h"
#include "db/DbError.h"
#include "db/EmbeddedEngine.h"
#include "grid/DataGrid.h"
#include "grid/GridExporter.h"
#include "mail/MailMessage.h"
#include "report/ReportOutput.h"
#include "runs/Job.h"
#include "runs/MailingRun.h"
#include "runs/ReportRun.h"
#include "runs/WorkerReading.h"
#include "settings/TMainObject.h"
#include "ui/main/CallsTab.h"
#include "ui/stats/TReportForm.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QSaveFile>
#include <QTranslator>

#include <cstdio>
#include <exception>

namespace cli {

namespace {

const QString PasswordVariable = QStringLiteral("KELVORA_PASSWORD");

void say(const QString& text)
{
    std::fputs(qPrintable(text + u'\n'), stdout);
    std::fflush(stdout);
}

void complain(const QString& text)
{
    std::fputs(qPrintable(text + u'\n'), stderr);
    std::fflush(stderr);
}

QString periodText(const stmt::Period& p)
{
    const QString format = QStringLiteral("dd.MM.yyyy");
    return p.first == p.last ? p.first.toString(format)
                             : p.first.toString(format) + u'-' + p.last.toString(format);
}

// The password of --password-file: its first line, from a file nobody else may read.
bool readPasswordFile(const QString& path, QString& password, QString& error)
{
    const QFileInfo info(path);
    if (!info.isFile()) {
        error = QStringLiteral("Нет файла пароля %1.").arg(QDir::toNativeSeparators(path));
        return false;
    }
    const QFileDevice::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                            QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    if (info.permissions() & others) {
        error = QStringLiteral("Файл пароля %1 доступен не только его владельцу: пароль из него "
                               "не берется. Оставьте права 0600 (chmod 600 %1).")
                    .arg(QDir::toNativeSeparators(path));
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("Не удалось прочитать файл пароля %1\n%2")
                    .arg(QDir::toNativeSeparators(path), f.errorString());
        return false;
    }
    password = QString::fromUtf8(f.readLine()).remove(u'\n').remove(u'\r');
    return true;
}

// Attaches as the login window would, with the settings' or the command line's credentials.
int login(TDM& dm, const Command& c)
{
    TMainObject& s = *dm.MainObject;
    const QString database = c.database.isEmpty() ? s.DatabaseName() : c.database;
    if (database.isEmpty()) {
        complain(QStringLiteral("Не задана база данных: ее нет в файле настроек %1 (раздел "
                                "RemoteBD) и не указан параметр --database.")
                     .arg(QDir::toNativeSeparators(s.IniFileName)));
        return Failed;
    }
    QString user = c.user;
    QString password;
    if (user.isEmpty()) {
        if (!s.MemoryName || s.User.isEmpty()) {
            complain(QStringLiteral("В файле настроек %1 не запомнены имя пользователя и пароль: "
                                    "укажите --user и пароль в переменной окружения %2 или в "
                                    "файле (--password-file).")
                         .arg(QDir::toNativeSeparators(s.IniFileName), PasswordVariable));
            return Failed;
        }
        user = s.User;
        password = s.Pass;
    } else if (!c.passwordFile.isEmpty()) {
        QString error;
        if (!readPasswordFile(c.passwordFile, password, error)) {
            complain(error);
            return Failed;
        }
    } else if (qEnvironmentVariableIsSet(qPrintable(PasswordVariable))) {
        password = qEnvironmentVariable(qPrintable(PasswordVariable));
    } else if (s.MemoryName && user == s.User) {
        password = s.Pass;
    }
    db::Database& db = dm.ibDatabase;
    db.setDatabaseName(database);
    db.params().clear();
    db.params() << QStringLiteral("user_name=") + user << QStringLiteral("password=") + password
                << QStringLiteral("lc_ctype=win1251");
    try {
        db.open();
        dm.ibTranRO.start();
        dm.RememberDatabaseFile();
    } catch (const db::DbError& e) {
        db.close();
        complain(QStringLiteral("Невозможно открыть базу данных %1 !\n%2")
                     .arg(QDir::toNativeSeparators(database), TDM::FailureText(e)));
        return Failed;
    }
    s.Connected = true; // the settings object is read-only: nothing is written for it
    return Done;
}

// Why a run failed: the database's failure, or the engine's reason.
QString failureText(std::exception_ptr failure)
{
    try {
        if (failure)
            std::rethrow_exception(failure);
    } catch (const runs::RunFailure& e) {
        return QStringLiteral("Не могу подготовить отчет !\n") + e.text();
    } catch (const db::DbError& e) {
        return TDM::FailureText(e);
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    }
    return QStringLiteral("Не могу подготовить отчет !");
}

int runReport(TDM& dm, const Command& c)
{
    ReportRun::Request request;
    const QString path = dm.MainObject->ProgramDir + TemplateName(c.report);
    if (!QFile::exists(path)) {
        complain(
            QStringLiteral("Нет файла шаблона отчета %1.").arg(QDir::toNativeSeparators(path)));
        return Failed;
    }
    if (!request.layout.load(path)) {
        complain(QStringLiteral("Не могу подготовить отчет !\n") + request.layout.errorString());
        return Failed;
    }
    try {
        dm.EnsureUsable();
        if (c.report == ReportKind::Detailed)
            request.indexes = dm.DateIndexes();
    } catch (const db::DbError& e) {
        complain(TDM::FailureText(e));
        return Failed;
    }
    request.place = readingPlaceOf(dm);
    request.kind = c.report;
    request.from = c.period.first;
    request.to = c.period.last;
    request.settings = dm.MainObject.get();

    ReportRun run;
    QEventLoop loop;
    bool ended = false;
    ReportRun::State state = ReportRun::State::Idle;
    QObject::connect(&run, &ReportRun::finished, &loop, [&](ReportRun::State s) {
        ended = true;
        state = s;
        loop.quit();
    });
    run.start(std::move(request));
    if (!ended)
        loop.exec();
    if (state != ReportRun::State::Finished) {
        complain(failureText(run.failure()));
        return Failed;
    }
    if (run.noTariffs()) {
        complain(TReportForm::NoTariffsText());
        return Failed;
    }
    report::ReportOutput pdf;
    if (!pdf.writePdf(*run.pages(), c.pdf)) {
        complain(QStringLiteral("Не удалось записать файл %1\n%2")
                     .arg(QDir::toNativeSeparators(c.pdf), pdf.errorString()));
        return Failed;
    }
    say(QStringLiteral("%1 за %2: %3, страниц: %4")
            .arg(ReportCaption(c.report), periodText(c.period),
                 QDir::toNativeSeparators(QFileInfo(c.pdf).absoluteFilePath()))
            .arg(run.pages()->pages.size()));
    return Done;
}

// The table as the export chooser writes it, replaced only once complete.
bool writeTable(const grid::GridTable& table, grid::ExportFormat format, const QString& path)
{
    grid::ExportOptions options;
    options.sheetName = QStringLiteral("Лист");
    const auto exporter = grid::makeExporter(format, options);
    QSaveFile file(path);
    QString error;
    if (!file.open(QIODevice::WriteOnly))
        error = file.errorString();
    else if (!exporter->write(file, table))
        error = exporter->errorString();
    else if (!file.commit())
        error = file.errorString();
    if (error.isEmpty())
        return true;
    file.cancelWriting();
    complain(QStringLiteral("Не удалось записать файл %1\n%2")
                 .arg(QDir::toNativeSeparators(path), error));
    return false;
}

int runExport(TDM& dm, const Command& c)
{
    stmt::CallFilter filter;
    filter.from = c.period.first;
    filter.to = c.period.last;
    filter.incoming = c.incoming;
    filter.outgoing = c.outgoing;
    filter.numberPrefix = c.prefix;
    filter.user = c.subscriber;
    filter.line = c.line;
    filter.longerThan = c.minSeconds;
    filter.outsideDirectories = c.outside;
    // In the order the call list was last shown in.
    filter.sortField = dm.MainObject->FieldRing;
    filter.descending = dm.MainObject->DescRing == 1;
    db::Query& q = dm.ibQueryRings;
    try {
        dm.EnsureUsable();
        if (const std::optional<stmt::DateIndexes> indexes = dm.DateIndexes()) {
            filter.navigateByDate = true;
            filter.indexes = *indexes;
        }
        dm.LoadTariffs();
        filter.withLine = dm.HasTariffs();
        try {
            filter.statement().applyTo(q);
            q.open();
        } catch (const db::DbError& e) {
            // A server that refuses the reading along the indexes gets the statement without
            // it, as the call list does.
            if (!filter.readsAlongDateIndex() || e.connectionLost())
                throw;
            filter.navigateByDate = false;
            filter.statement().applyTo(q);
            q.open();
        }
        q.last();
        // The zone and the cost are sorted by the program once the rows are in, as the call
        // list sorts them.
        const stmt::SortOrders& sorts = stmt::CallFilter::sorts();
        if (sorts.byProgram(filter.sortField))
            q.reorder(dm.CallCosts.order(q, sorts.column(filter.sortField), filter.descending));
    } catch (const db::DbError& e) {
        complain(TDM::FailureText(e));
        return Failed;
    }
    // The call list's grid, never shown: its columns, their order and widths as the window
    // last showed them.
    grid::DataGrid grid;
    grid.setObjectName(CallsTab::LayoutSection());
    grid.setQuery(&q);
    grid.fitColumns();
    grid.restoreLayout(dm.MainObject->GridLayouts(), CallsTab::LayoutSection());
    const grid::GridTable table(grid);
    for (const auto& [format, path] : c.exports) {
        if (!writeTable(table, format, path))
            return Failed;
        say(QStringLiteral("Звонки за %1: %2, строк: %3")
                .arg(periodText(c.period),
                     QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath()))
                .arg(table.rowCount()));
    }
    return Done;
}

int runMail(TDM& dm, const Command& c)
{
    std::vector<MailingRun::Listed> subscribers;
    try {
        subscribers = MailingRun::listRecipients(dm);
    } catch (const db::DbError& e) {
        complain(TDM::FailureText(e));
        return Failed;
    }
    if (subscribers.empty()) {
        say(QStringLiteral("Нет абонентов, которым отчет отправляется по почте."));
        return Done;
    }
    const auto lineText = [](const MailingRun::Recipient& r, const QString& result) {
        return QStringLiteral("%1\t%2\t%3\t%4").arg(r.number).arg(r.name, r.address, result);
    };
    MailingRun::Request request;
    request.from = c.period.first;
    request.to = c.period.last;
    request.templatePath = dm.MainObject->ProgramDir + TemplateName(ReportKind::Detailed);
    std::vector<std::size_t> sendable; // subscribers' indexes of the run's recipients
    for (std::size_t i = 0; i < subscribers.size(); ++i)
        if (subscribers[i].unsendable.isEmpty()) {
            request.recipients.push_back(subscribers[i].recipient);
            sendable.push_back(i);
        }
    const int total = int(subscribers.size());
    const int unsendable = total - int(sendable.size());

    if (c.dryRun) {
        const TMainObject& s = *dm.MainObject;
        for (const MailingRun::Listed& sub : subscribers)
            say(lineText(sub.recipient, sub.unsendable.isEmpty()
                                            ? QStringLiteral("будет отправлено")
                                            : sub.unsendable + QStringLiteral(", не будет")));
        say(QStringLiteral("Период %1: будет отправлено %2 из %3 (проверка, ничего не отправлено)")
                .arg(periodText(c.period))
                .arg(sendable.size())
                .arg(total));
        if (s.MailServer.trimmed().isEmpty() || s.MailFrom.trimmed().isEmpty()) {
            complain(QStringLiteral("Не заданы настройки почты (раздел [Mail] файла настроек %1).")
                         .arg(QDir::toNativeSeparators(s.IniFileName)));
            return NothingSent;
        }
        return sendable.empty() ? NothingSent : unsendable > 0 ? SomeNotSent : Done;
    }

    for (const MailingRun::Listed& sub : subscribers)
        if (!sub.unsendable.isEmpty())
            say(lineText(sub.recipient, sub.unsendable));
    if (sendable.empty()) {
        say(QStringLiteral("Отправлено 0 из %1, не отправлено %1").arg(total));
        return NothingSent;
    }
    const std::vector<MailingRun::Recipient> recipients = request.recipients;
    MailingRun run(dm);
    QEventLoop loop;
    bool ended = false;
    // A recipient's line once his message is done with, or the run ended before his turn.
    QObject::connect(&run, &MailingRun::lineChanged, &loop, [&](int index) {
        const MailingRun::Line& line = run.line(index);
        if (line.step == MailingRun::Step::Done || line.step == MailingRun::Step::NotSent)
            say(lineText(recipients[std::size_t(index)], line.text));
    });
    QObject::connect(&run, &MailingRun::finished, &loop, [&] {
        ended = true;
        loop.quit();
    });
    QString why;
    const MailingRun::Refusal refusal = run.start(std::move(request), why);
    switch (refusal) {
    case MailingRun::Refusal::None:
        break;
    case MailingRun::Refusal::Settings:
        complain(why + QStringLiteral("\nИх задает кнопка \"Настройки почты…\" окна \"Рассылка "
                                      "отчетов\" (раздел [Mail] файла настроек %1).")
                           .arg(QDir::toNativeSeparators(dm.MainObject->IniFileName)));
        return NothingSent;
    default:
        complain(why);
        return Failed;
    }
    if (!ended)
        loop.exec();
    // Those the run never came to.
    for (int i = 0; i < run.total(); ++i)
        if (run.line(i).step != MailingRun::Step::Done &&
            run.line(i).step != MailingRun::Step::NotSent)
            say(lineText(recipients[std::size_t(i)], QStringLiteral("не отправлено")));
    const int sent = run.sent();
    say(QStringLiteral("Период %1: отправлено %2 из %3")
            .arg(periodText(c.period))
            .arg(sent)
            .arg(total) +
        (sent < total ? QStringLiteral(", не отправлено %1").arg(total - sent) : QString()));
    if (!run.stopReason().isEmpty())
        complain(QStringLiteral("Рассылка остановлена: %1").arg(run.stopReason()));
    return sent == total ? Done : sent == 0 ? NothingSent : SomeNotSent;
}

} // namespace

int Run(const Command& c)
{
    switch (c.kind) {
    case Command::Kind::Help:
        say(HelpText());
        return Done;
    case Command::Kind::Version:
        say(QCoreApplication::applicationName() + u' ' + QCoreApplication::applicationVersion());
        return Done;
    default:
        break;
    }
    // Read only: a command makes no user's copy of the settings and writes nothing back.
    TDM dm({}, TMainObject::FileUse::ReadOnly);
    if (!dm.MainObject->LoadError.isEmpty()) {
        complain(dm.MainObject->LoadError);
        return Failed;
    }
    if (const int status = login(dm, c); status != Done)
        return status;
    switch (c.kind) {
    case Command::Kind::Mail:
        return runMail(dm, c);
    case Command::Kind::Report:
        return runReport(dm, c);
    case Command::Kind::Export:
        return runExport(dm, c);
    default:
        return Done;
    }
}

namespace {
QtMessageHandler toolkitHandler = nullptr;

// Under cron the toolkit says at every start that the session has no runtime folder; that
// is how a command runs, and whatever the command writes is what cron mails.
void quietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    toolkitHandler(type, context, text);
}
} // namespace

int Main(int argc, char** argv)
{
    toolkitHandler = qInstallMessageHandler(quietHandler);
    // No display is needed nor used, whatever the environment names: the offscreen platform
    // draws the PDFs and measures the columns.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(KELVORA_VERSION));
    // The program's formats, as in the windows, whatever locale cron gives.
    KelvoraApplication::useProgramLocale();
    auto* qtBase = new QTranslator(&app);
    if (qtBase->load(QStringLiteral("qtbase_ru"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtBase);

    QString error;
    const std::optional<Command> command =
        ParseCommandLine(QCoreApplication::arguments(), QDate::currentDate(), error);
    if (!command) {
        complain(error + QStringLiteral("\nСправка: kelvora --help"));
        return BadArguments;
    }
    // As the windows do, before the first call into the database client: several programs
    // (the windows, a command, the collector) may then open one local file at once.
    if (command->kind != Command::Kind::Help && command->kind != Command::Kind::Version &&
        !db::EmbeddedEngine::prepare())
        complain(QStringLiteral("Локальная база данных не может быть открыта другими "
                                "программами одновременно с этой.\n") +
                 db::EmbeddedEngine::errorString());
    try {
        return Run(*command);
    } catch (const db::DbError& e) {
        complain(TDM::FailureText(e));
    } catch (const std::exception& e) {
        complain(QString::fromUtf8(e.what()));
    }
    return Failed;
}

} // namespace cli
