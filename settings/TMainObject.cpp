#include "TMainObject.h"

#include "NumberMask.h"
#include "data/Statements.h"
#include "ini/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <unistd.h>
#include <vector>
#endif

TMainObject::TMainObject(const QString& programDir, FileUse use)
    : m_programDir(programDir), m_use(use)
{
    LoadSettings();
}

TMainObject::~TMainObject()
{
    if (!SaveSettings())
        reportFailure(QStringLiteral("Не удалось записать файл настроек %1\n%2")
                          .arg(QDir::toNativeSeparators(IniFileName), SaveError));
}

namespace {
TMainObject::FailureReporter& failureReporter()
{
    static TMainObject::FailureReporter reporter;
    return reporter;
}
} // namespace

void TMainObject::setFailureReporter(FailureReporter reporter)
{
    failureReporter() = std::move(reporter);
}

void TMainObject::reportFailure(const QString& text)
{
    if (failureReporter())
        failureReporter()(text);
    else
        qWarning("%s", qUtf8Printable(text));
}

namespace {

#ifdef Q_OS_UNIX
bool inGroup(gid_t group)
{
    if (group == ::getegid())
        return true;
    std::vector<gid_t> groups(std::size_t(std::max(::getgroups(0, nullptr), 0)));
    groups.resize(std::size_t(std::max(::getgroups(int(groups.size()), groups.data()), 0)));
    return std::find(groups.begin(), groups.end(), group) != groups.end();
}
#endif

} // namespace

bool TMainObject::ProgramDirReadOnly(const QString& dir)
{
    const QFileInfo info(dir);
    if (!info.isDir())
        return false;
    const QString path = info.canonicalFilePath();
    if (path == QLatin1String("/usr") || path.startsWith(QLatin1String("/usr/")))
        return true;
    // access(): a read-only file system, an access list.
    if (!info.isWritable())
        return true;
#ifdef Q_OS_UNIX
    // The folder's mode for this user, as the system reads it for anyone but root.
    const QFileDevice::Permission write = info.ownerId() == uint(::geteuid()) ? QFile::WriteOwner
                                          : inGroup(gid_t(info.groupId()))    ? QFile::WriteGroup
                                                                              : QFile::WriteOther;
    return !info.permission(write);
#else
    return false;
#endif
}

QString TMainObject::UserSettingsDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' +
           QCoreApplication::applicationName() + u'/';
}

void TMainObject::LoadSettings()
{
    Connected = false;
    QString dir = m_programDir.isEmpty() ? QCoreApplication::applicationDirPath() : m_programDir;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    ProgramDir = dir;
    const QString fileName = QCoreApplication::applicationName() + QStringLiteral(".ini");
    const QString programFile = ProgramDir + fileName;
    UserSettings = ProgramDirReadOnly(ProgramDir);
    m_settingsDir = UserSettings ? UserSettingsDir() : ProgramDir;
    IniFileName = m_settingsDir + fileName;
    LoadError.clear();
    if (UserSettings) {
        if (LastExportDir.isEmpty())
            LastExportDir = QDir::homePath();
        // The first start: the user's file begins as a copy of the program folder's.
        if (m_use == FileUse::ReadOnly) {
            // Read where it would be copied from, and nothing made.
            if (!QFileInfo::exists(IniFileName))
                IniFileName = programFile;
        } else if (!QFileInfo::exists(IniFileName) && QFileInfo::exists(programFile)) {
            QFile source(programFile);
            if (QDir().mkpath(m_settingsDir) && source.copy(IniFileName))
                QFile::setPermissions(IniFileName, QFile::ReadOwner | QFile::WriteOwner);
            else
                LoadError = QStringLiteral("Не удалось скопировать файл настроек %1 в %2\n%3")
                                .arg(QDir::toNativeSeparators(programFile),
                                     QDir::toNativeSeparators(IniFileName), source.errorString());
        }
    }
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        WorkArea = screen->availableGeometry();
    FieldLine = 0;
    FieldRing = 0;

    m_file = ini::IniFile(IniFileName);
    m_layouts.reset();
    m_unreadable = false;
    if (!m_file.load() && QFileInfo::exists(IniFileName)) {
        m_unreadable = true;
        LoadError = QStringLiteral("Не удалось прочитать файл настроек %1\n%2")
                        .arg(QDir::toNativeSeparators(IniFileName), m_file.errorString());
    }
    const ini::IniFile& f = m_file;
    DatabasePath = f.readString(QStringLiteral("RemoteBD"), QStringLiteral("Name"), {});
    // A user's file made before the administrator named the database: the program folder's.
    if (UserSettings && DatabasePath.isEmpty()) {
        ini::IniFile shared(programFile);
        shared.load();
        DatabasePath = shared.readString(QStringLiteral("RemoteBD"), QStringLiteral("Name"), {});
    }
    MemoryName = f.readBool(QStringLiteral("Main"), QStringLiteral("MemoryName"), false);
    User = f.readString(QStringLiteral("Main"), QStringLiteral("User"), {});
    Pass = f.readString(QStringLiteral("Main"), QStringLiteral("Pass"), {});
    const QString mask = QStringLiteral("NumberMask");
    // Kept as unsigned 8-bit values: only the low byte of what the file says.
    N5 = quint8(f.readInteger(mask, QStringLiteral("N5"), 0));
    N6 = quint8(f.readInteger(mask, QStringLiteral("N6"), 0));
    N7 = quint8(f.readInteger(mask, QStringLiteral("N7"), 0));
    N8 = quint8(f.readInteger(mask, QStringLiteral("N8"), 0));
    N9 = quint8(f.readInteger(mask, QStringLiteral("N9"), 0));
    N10 = quint8(f.readInteger(mask, QStringLiteral("N10"), 0));
    N11 = quint8(f.readInteger(mask, QStringLiteral("N11"), 0));
    vstDeptWth = f.readInteger(QStringLiteral("Save"), QStringLiteral("vstDeptWth"), 160);
    const QString sort = QStringLiteral("Sort");
    FieldLine = f.readInteger(sort, QStringLiteral("FieldLine"), 0);
    DescLine = f.readInteger(sort, QStringLiteral("DescLine"), 0);
    FieldRing = f.readInteger(sort, QStringLiteral("FieldRing"), 0);
    DescRing = f.readInteger(sort, QStringLiteral("DescRing"), 0);
    // Sort indexes address fixed tables of sort terms: an edited file must not leave them.
    if (FieldLine < 0 || FieldLine > 3)
        FieldLine = 0;
    if (FieldRing < 0 || FieldRing >= stmt::CallFilter::sorts().count())
        FieldRing = 0;

    const QString mail = QStringLiteral("Mail");
    MailServer = f.readString(mail, QStringLiteral("Server"), {}).trimmed();
    MailPort = f.readInteger(mail, QStringLiteral("Port"), 25);
    if (MailPort < 1 || MailPort > 65535)
        MailPort = 25;
    const QString security = f.readString(mail, QStringLiteral("Security"), {}).trimmed().toLower();
    MailSecurity = mail::Security::None;
    for (mail::Security k : {mail::Security::StartTls, mail::Security::Tls})
        if (security == MailSecurityWord(k))
            MailSecurity = k;
    MailUser = f.readString(mail, QStringLiteral("User"), {});
    MailPassword = f.readString(mail, QStringLiteral("Password"), {});
    MailFrom = f.readString(mail, QStringLiteral("From"), {}).trimmed();
    m_base = m_file;
    m_written = entries();
}

std::vector<TMainObject::Entry> TMainObject::entries() const
{
    const QString mask = QStringLiteral("NumberMask");
    const QString main = QStringLiteral("Main");
    const QString sort = QStringLiteral("Sort");
    const QString mail = QStringLiteral("Mail");
    const auto number = [](int n) { return QString::number(n); };
    return {{mask, QStringLiteral("N5"), number(N5)},
            {mask, QStringLiteral("N6"), number(N6)},
            {mask, QStringLiteral("N7"), number(N7)},
            {mask, QStringLiteral("N8"), number(N8)},
            {mask, QStringLiteral("N9"), number(N9)},
            {mask, QStringLiteral("N10"), number(N10)},
            {mask, QStringLiteral("N11"), number(N11)},
            {main, QStringLiteral("MemoryName"), number(MemoryName ? 1 : 0)},
            {main, QStringLiteral("User"), User},
            {main, QStringLiteral("Pass"), Pass},
            {QStringLiteral("Save"), QStringLiteral("vstDeptWth"), number(vstDeptWth)},
            {sort, QStringLiteral("FieldLine"), number(FieldLine)},
            {sort, QStringLiteral("DescLine"), number(DescLine)},
            {sort, QStringLiteral("FieldRing"), number(FieldRing)},
            {sort, QStringLiteral("DescRing"), number(DescRing)},
            {mail, QStringLiteral("Server"), MailServer},
            {mail, QStringLiteral("Port"), number(MailPort)},
            {mail, QStringLiteral("Security"), MailSecurityWord(MailSecurity)},
            {mail, QStringLiteral("User"), MailUser},
            {mail, QStringLiteral("Password"), MailPassword},
            {mail, QStringLiteral("From"), MailFrom}};
}

// Reads the file again and writes into it what this copy changed: the keys whose values
// differ from those read or last written, the keys the file lacks, and the grid-layout
// sections rewritten during the run; then saves it through a temporary file. mailOnly: the
// mail keys alone, all of them (they were just set in their window).
bool TMainObject::writeChanges(bool mailOnly)
{
    ini::IniFile current(IniFileName);
    if (!current.load() && QFileInfo::exists(IniFileName)) {
        SaveError = current.errorString();
        return false;
    }
    current.takeChangedSections(m_base, m_file);
    const std::vector<Entry> now = entries();
    // A program that never mails leaves no empty section behind.
    const bool mailKept = current.sectionExists(QStringLiteral("Mail")) || !MailServer.isEmpty() ||
                          !MailFrom.isEmpty();
    for (std::size_t i = 0; i < now.size(); ++i) {
        const Entry& e = now[i];
        const bool mail = e.section == QLatin1String("Mail");
        const bool wanted = mailOnly
                                ? mail
                                : e.value != m_written[i].value ||
                                      (!current.value(e.section, e.key) && (!mail || mailKept));
        if (wanted)
            current.writeString(e.section, e.key, e.value);
    }
    if (!current.save()) {
        SaveError = current.errorString();
        return false;
    }
    // Later writes compare with what the file holds now.
    m_file = current;
    m_base = current;
    for (std::size_t i = 0; i < now.size(); ++i)
        if (!mailOnly || now[i].section == QLatin1String("Mail"))
            m_written[i] = now[i];
    if (m_layouts && !mailOnly) {
        ini::IniFile layouts(GridLayoutFile());
        if (!layouts.load() && QFileInfo::exists(GridLayoutFile())) {
            SaveError = layouts.errorString();
            return false;
        }
        layouts.takeChangedSections(m_layoutsBase, *m_layouts);
        if (!layouts.save()) {
            SaveError = layouts.errorString();
            return false;
        }
        *m_layouts = layouts;
        m_layoutsBase = layouts;
    }
    return true;
}

bool TMainObject::SaveMailSettings()
{
    SaveError.clear();
    if (m_unreadable) {
        SaveError = LoadError;
        return false;
    }
    if (m_use == FileUse::ReadOnly) {
        SaveError = QStringLiteral("Файл настроек открыт только для чтения.");
        return false;
    }
    return writeChanges(true);
}

bool TMainObject::SaveSettings()
{
    SaveError.clear();
    if (!Connected || m_use == FileUse::ReadOnly)
        return true;
    if (!MemoryName) {
        User.clear();
        Pass.clear();
    }
    if (m_unreadable)
        return true; // what the file holds could not be read: it is left as it is
    return writeChanges(false);
}

ini::IniFile& TMainObject::GridLayouts()
{
    if (QFileInfo(GridLayoutFile()) == QFileInfo(IniFileName))
        return m_file;
    if (!m_layouts) {
        m_layouts = std::make_unique<ini::IniFile>(GridLayoutFile());
        m_layouts->load();
        m_layoutsBase = *m_layouts;
    }
    return *m_layouts;
}

quint8 TMainObject::MaskChoice(int length) const
{
    switch (length) {
    case 5:
        return N5;
    case 6:
        return N6;
    case 7:
        return N7;
    case 8:
        return N8;
    case 9:
        return N9;
    case 10:
        return N10;
    case 11:
        return N11;
    default:
        return 0;
    }
}

void TMainObject::SetMaskChoice(int length, quint8 choice)
{
    quint8* const choices[] = {&N5, &N6, &N7, &N8, &N9, &N10, &N11};
    if (length >= NumberMask::MinLength && length <= NumberMask::MaxLength)
        *choices[length - NumberMask::MinLength] = choice;
}

QString TMainObject::FormatPhoneNumber(const QString& Number) const
{
    qsizetype b = 0;
    qsizetype e = Number.size();
    while (b < e && Number[b].unicode() <= 32)
        ++b;
    while (e > b && Number[e - 1].unicode() <= 32)
        --e;
    const QString text = Number.mid(b, e - b);
    // The choice goes by the length as received, the grouping works on the trimmed text.
    const int length = int(Number.size());
    return NumberMask::apply(text, NumberMask::groups(length, MaskChoice(length)));
}

QString TMainObject::MailSecurityWord(mail::Security security)
{
    switch (security) {
    case mail::Security::StartTls:
        return QStringLiteral("starttls");
    case mail::Security::Tls:
        return QStringLiteral("tls");
    case mail::Security::None:
        break;
    }
    return QStringLiteral("none");
}

mail::ServerSettings TMainObject::MailServerSettings() const
{
    mail::ServerSettings server;
    server.host = MailServer;
    server.port = MailPort;
    server.security = MailSecurity;
    server.user = MailUser;
    server.password = MailPassword;
    return server;
}

QString TMainObject::DatabaseName() const
{
    qsizetype b = 0;
    qsizetype e = DatabasePath.size();
    while (b < e && DatabasePath[b].unicode() <= 32)
        ++b;
    while (e > b && DatabasePath[e - 1].unicode() <= 32)
        --e;
    return DatabasePath.mid(b, e - b);
}
