#include "CommandLine.h"

#include "data/PeriodWords.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

namespace cli {

namespace {

const QString PeriodName = QStringLiteral("period");
const QString DryRunName = QStringLiteral("dry-run");
const QString PdfName = QStringLiteral("pdf");
const QString LineName = QStringLiteral("line");
const QString SubscriberName = QStringLiteral("subscriber");
const QString DirectionName = QStringLiteral("direction");
const QString PrefixName = QStringLiteral("prefix");
const QString MinSecondsName = QStringLiteral("min-seconds");
const QString OutsideName = QStringLiteral("outside");
const QString DatabaseName = QStringLiteral("database");
const QString UserName = QStringLiteral("user");
const QString PasswordFileName = QStringLiteral("password-file");

// The formats of the export chooser, each an option that names its file.
struct ExportOption
{
    grid::ExportFormat format;
    const char* name;
};
constexpr ExportOption ExportOptions[] = {
    {grid::ExportFormat::Xlsx, "xlsx"}, {grid::ExportFormat::Xls, "xls"},
    {grid::ExportFormat::Csv, "csv"},   {grid::ExportFormat::Rtf, "rtf"},
    {grid::ExportFormat::Text, "txt"},  {grid::ExportFormat::Html, "htm"}};

QStringList exportNames()
{
    QStringList names;
    for (const ExportOption& e : ExportOptions)
        names << QLatin1String(e.name);
    return names;
}

QString periodWords()
{
    QStringList words;
    for (const stmt::PeriodShortcutInfo& info : stmt::PeriodShortcuts)
        words << QLatin1String(info.word);
    return words.join(QStringLiteral(", "));
}

QString reportWords()
{
    QStringList words;
    for (const ReportKindInfo& info : ReportKinds)
        words << QLatin1String(info.word);
    return words.join(QStringLiteral(", "));
}

// A whole number of at least `least`, as an option gives it.
bool readNumber(const QString& text, int least, int& value)
{
    bool ok = false;
    value = text.trimmed().toInt(&ok);
    return ok && value >= least;
}

} // namespace

bool IsCommandLine(const QStringList& arguments)
{
    if (arguments.size() < 2)
        return false;
    const QString& first = arguments.at(1);
    if (first == QLatin1String("-h") || first == QLatin1String("-v") ||
        first == QLatin1String("-?"))
        return true;
    return !(first.startsWith(u'-') && !first.startsWith(QLatin1String("--")));
}

std::optional<Command> ParseCommandLine(const QStringList& arguments, const QDate& today,
                                        QString& error)
{
    QCommandLineParser parser;
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption period(PeriodName, {}, PeriodName);
    const QCommandLineOption dryRun(DryRunName);
    const QCommandLineOption pdf(PdfName, {}, PdfName);
    const QCommandLineOption line(LineName, {}, LineName);
    const QCommandLineOption subscriber(SubscriberName, {}, SubscriberName);
    const QCommandLineOption direction(DirectionName, {}, DirectionName);
    const QCommandLineOption prefix(PrefixName, {}, PrefixName);
    const QCommandLineOption minSeconds(MinSecondsName, {}, MinSecondsName);
    const QCommandLineOption outside(OutsideName);
    const QCommandLineOption database(DatabaseName, {}, DatabaseName);
    const QCommandLineOption user(UserName, {}, UserName);
    const QCommandLineOption passwordFile(PasswordFileName, {}, PasswordFileName);
    parser.addOptions({help, version, period, dryRun, pdf, line, subscriber, direction, prefix,
                       minSeconds, outside, database, user, passwordFile});
    for (const QString& name : exportNames())
        parser.addOption(QCommandLineOption(name, {}, name));
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return std::nullopt;
    }
    Command c;
    if (parser.isSet(help))
        return c;
    if (parser.isSet(version)) {
        c.kind = Command::Kind::Version;
        return c;
    }
    QStringList words = parser.positionalArguments();
    if (words.isEmpty()) {
        error = QStringLiteral("Не указана команда: mail, report или export.");
        return std::nullopt;
    }
    const QString command = words.takeFirst();
    // The options each command takes besides the login's.
    QStringList own;
    if (command == QLatin1String("help")) {
        return c;
    } else if (command == QLatin1String("mail")) {
        c.kind = Command::Kind::Mail;
        own = {PeriodName, DryRunName};
    } else if (command == QLatin1String("report")) {
        c.kind = Command::Kind::Report;
        own = {PeriodName, PdfName};
        if (words.isEmpty()) {
            error = QStringLiteral("Не указан отчет: %1.").arg(reportWords());
            return std::nullopt;
        }
        const QString name = words.takeFirst();
        const auto known =
            std::find_if(ReportKinds.begin(), ReportKinds.end(), [&](const ReportKindInfo& info) {
                return name == QLatin1String(info.word);
            });
        if (known == ReportKinds.end()) {
            error = QStringLiteral("Нет отчета \"%1\"; отчеты: %2.").arg(name, reportWords());
            return std::nullopt;
        }
        c.report = known->kind;
    } else if (command == QLatin1String("export")) {
        c.kind = Command::Kind::Export;
        own = QStringList{PeriodName, LineName,       SubscriberName, DirectionName,
                          PrefixName, MinSecondsName, OutsideName} +
              exportNames();
    } else {
        error = QStringLiteral("Нет команды \"%1\"; команды: mail, report, export.").arg(command);
        return std::nullopt;
    }
    if (!words.isEmpty()) {
        error = QStringLiteral("Лишние слова в командной строке: %1.")
                    .arg(words.join(QStringLiteral(" ")));
        return std::nullopt;
    }
    own << DatabaseName << UserName << PasswordFileName;
    for (const QString& name : parser.optionNames())
        if (!own.contains(name)) {
            error = QStringLiteral("Параметр --%1 не относится к команде %2.").arg(name, command);
            return std::nullopt;
        }
    // An option given twice would leave one of its values unused.
    for (const QString& name : own)
        if (parser.values(name).size() > 1) {
            error = QStringLiteral("Параметр --%1 указан дважды.").arg(name);
            return std::nullopt;
        }

    if (!parser.isSet(period)) {
        error = QStringLiteral("Не указан период (--period).");
        return std::nullopt;
    }
    const std::optional<stmt::Period> p = stmt::ParsePeriod(parser.value(period), today);
    if (!p) {
        error = QStringLiteral("Неверный период \"%1\": нужно одно из слов %2 или две даты "
                               "ДД.ММ.ГГГГ-ДД.ММ.ГГГГ, первая не позже второй.")
                    .arg(parser.value(period), periodWords());
        return std::nullopt;
    }
    c.period = *p;
    c.dryRun = parser.isSet(dryRun);
    c.outside = parser.isSet(outside);
    c.pdf = parser.value(pdf);
    for (const QString& name : QStringList{PdfName} + exportNames())
        if (parser.isSet(name) && parser.value(name).trimmed().isEmpty()) {
            error = QStringLiteral("Не указано имя файла после --%1.").arg(name);
            return std::nullopt;
        }
    if (c.kind == Command::Kind::Report && c.pdf.isEmpty()) {
        error = QStringLiteral("Не указан файл отчета (--pdf ФАЙЛ).");
        return std::nullopt;
    }
    QHash<QString, QString> optionOfFile; // a file's absolute path, the option that named it
    for (const ExportOption& e : ExportOptions) {
        const QString name = QLatin1String(e.name);
        if (!parser.isSet(name))
            continue;
        const QString file = parser.value(name);
        const QString path = QFileInfo(file).absoluteFilePath();
        if (optionOfFile.contains(path)) {
            error = QStringLiteral("Для --%1 и --%2 указан один и тот же файл.")
                        .arg(optionOfFile.value(path), name);
            return std::nullopt;
        }
        optionOfFile.insert(path, name);
        c.exports.emplace_back(e.format, file);
    }
    if (c.kind == Command::Kind::Export && c.exports.empty()) {
        error = QStringLiteral("Не указан файл выгрузки (--xlsx ФАЙЛ, --xls, --csv, --rtf, --txt "
                               "или --htm).");
        return std::nullopt;
    }
    const std::pair<const QCommandLineOption*, int*> numbers[] = {
        {&line, &c.line}, {&subscriber, &c.subscriber}, {&minSeconds, &c.minSeconds}};
    for (const auto& [option, value] : numbers)
        if (parser.isSet(*option) &&
            !readNumber(parser.value(*option), option == &minSeconds ? 0 : 1, *value)) {
            error = QStringLiteral("Неверное значение --%1 \"%2\": нужно целое число%3.")
                        .arg(option->names().front(), parser.value(*option),
                             option == &minSeconds ? QStringLiteral(" не меньше 0")
                                                   : QStringLiteral(" больше 0"));
            return std::nullopt;
        }
    if (parser.isSet(direction)) {
        const QString d = parser.value(direction).trimmed();
        if (d == QLatin1String("in"))
            c.outgoing = false;
        else if (d == QLatin1String("out"))
            c.incoming = false;
        else if (d != QLatin1String("all")) {
            error = QStringLiteral("Неверное значение --direction \"%1\": нужно in, out или all.")
                        .arg(d);
            return std::nullopt;
        }
    }
    c.prefix = parser.value(prefix).trimmed();
    if (!c.prefix.isEmpty() &&
        !QRegularExpression(QStringLiteral("^[0-9]+$")).match(c.prefix).hasMatch()) {
        error = QStringLiteral("Неверное значение --prefix \"%1\": нужны цифры начала номера.")
                    .arg(c.prefix);
        return std::nullopt;
    }
    c.database = parser.value(database).trimmed();
    c.user = parser.value(user).trimmed();
    c.passwordFile = parser.value(passwordFile);
    if (parser.isSet(passwordFile) && c.user.isEmpty()) {
        error = QStringLiteral("Файл пароля (--password-file) задается вместе с --user.");
        return std::nullopt;
    }
    return c;
}

QString HelpText()
{
    QString reports;
    for (const ReportKindInfo& info : ReportKinds)
        reports += QStringLiteral("    %1 - %2\n")
                       .arg(QString::fromLatin1(info.word).leftJustified(9),
                            QString::fromUtf8(info.caption));
    return QStringLiteral(
               "Использование:\n"
               "  kelvora                       окна программы\n"
               "  kelvora mail --period ПЕРИОД [--dry-run]\n"
               "  kelvora report ОТЧЕТ --period ПЕРИОД --pdf ФАЙЛ\n"
               "  kelvora export --period ПЕРИОД --ФОРМАТ ФАЙЛ [--ФОРМАТ ФАЙЛ ...] [фильтр]\n"
               "\n"
               "Команды работают без окон и без дисплея (для cron и таймеров systemd); ошибки\n"
               "выводятся в стандартный поток ошибок. Файл настроек программы они только читают.\n"
               "\n"
               "Команды:\n"
               "  mail      рассылка отчетов абонентам, как в окне \"Рассылка отчетов\": по "
               "строке\n"
               "            на абонента и итог. --dry-run: только показать, кому что будет\n"
               "            отправлено, ничего не отправляя.\n"
               "  report    отчет в файл PDF. ОТЧЕТ:\n%1"
               "  export    список звонков в файлы, как их выгружает программа, в одном или\n"
               "            нескольких форматах:\n"
               "    --xlsx ФАЙЛ           книга Excel 2007 и новее\n"
               "    --xls ФАЙЛ            книга Excel 97-2003\n"
               "    --csv ФАЙЛ            значения через \";\" в UTF-8\n"
               "    --rtf ФАЙЛ            таблица RTF\n"
               "    --txt ФАЙЛ            текст с табуляциями в кодировке Windows-1251\n"
               "    --htm ФАЙЛ            страница HTML\n"
               "            Фильтр, как в списке звонков:\n"
               "    --line НОМЕР          только звонки этой внешней линии\n"
               "    --subscriber НОМЕР    только звонки абонента с этим внутренним номером\n"
               "    --direction in|out|all  входящие, исходящие или все (все)\n"
               "    --prefix ЦИФРЫ        номер абонента начинается с этих цифр\n"
               "    --min-seconds ЧИСЛО   разговор длиннее этого числа секунд\n"
               "    --outside             и звонки линий и абонентов, которых нет в\n"
               "                          справочниках (вместо имени - номер)\n"
               "            Строки идут в порядке, в котором список звонков был показан\n"
               "            последним.\n"
               "\n"
               "ПЕРИОД: %2\n"
               "  (недели с понедельника, кварталы с января, апреля, июля и октября)\n"
               "  или ДД.ММ.ГГГГ-ДД.ММ.ГГГГ, или один день ДД.ММ.ГГГГ.\n"
               "\n"
               "Подключение к базе данных: база данных из файла настроек (раздел RemoteBD) и\n"
               "запомненные там имя пользователя и пароль, или:\n"
               "  --database БАЗА        база данных (файл или сервер:путь)\n"
               "  --user ИМЯ             пользователь; пароль берется из переменной окружения\n"
               "                         KELVORA_PASSWORD или из файла:\n"
               "  --password-file ФАЙЛ   файл с паролем в первой строке, с правами 0600\n"
               "                         (файл, доступный группе или другим, не принимается)\n"
               "Пароль в командной строке не принимается.\n"
               "\n"
               "  -h, --help             эта справка\n"
               "  -v, --version          версия программы\n"
               "\n"
               "Код завершения:\n"
               "  0  все сделано: все письма отправлены, файл записан\n"
               "  1  рассылка: часть писем не отправлена (или у абонента нет верного адреса)\n"
               "  2  неверная командная строка; ничего не прочитано, не отправлено и не записано\n"
               "  3  нет настроек, не удалось подключиться к базе данных, ошибка базы данных,\n"
               "     шаблона отчета или записи файла\n"
               "  4  рассылка: не отправлено ни одного письма (нет настроек почты, почтовый\n"
               "     сервер недоступен, все адреса отвергнуты)\n")
        .arg(reports, periodWords());
}

} // namespace cli
