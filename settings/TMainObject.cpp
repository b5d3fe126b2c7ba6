#include "TMainObject.h"

#include "NumberMask.h"
#include "ini/IniFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

TMainObject::TMainObject(const QString& programDir) : m_programDir(programDir)
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

void TMainObject::LoadSettings()
{
    Connected = false;
    QString dir = m_programDir.isEmpty() ? QCoreApplication::applicationDirPath() : m_programDir;
    if (!dir.endsWith(u'/'))
        dir += u'/';
    ProgramDir = dir;
    IniFileName = ProgramDir + QCoreApplication::applicationName() + QStringLiteral(".ini");
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        WorkArea = screen->availableGeometry();
    FieldLine = 0;
    FieldRing = 0;

    m_file = ini::IniFile(IniFileName);
    m_layouts.reset();
    m_unreadable = false;
    LoadError.clear();
    if (!m_file.load() && QFileInfo::exists(IniFileName)) {
        m_unreadable = true;
        LoadError = QStringLiteral("Не удалось прочитать файл настроек %1\n%2")
                        .arg(QDir::toNativeSeparators(IniFileName), m_file.errorString());
    }
    const ini::IniFile& f = m_file;
    DatabasePath = f.readString(QStringLiteral("RemoteBD"), QStringLiteral("Name"), {});
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
    if (FieldRing < 0 || FieldRing > 5)
        FieldRing = 0;

    const QString mail = QStringLiteral("Mail");
    MailServer = f.readString(mail, QStringLiteral("Server"), {}).trimmed();
    MailPort = f.readInteger(mail, QStringLiteral("Port"), 25);
    if (MailPort < 1 || MailPort > 65535)
        MailPort = 25;
    MailSecurity = f.readString(mail, QStringLiteral("Security"), {}).trimmed().toLower();
    if (MailSecurity != QLatin1String("starttls") && MailSecurity != QLatin1String("tls"))
        MailSecurity = QStringLiteral("none");
    MailUser = f.readString(mail, QStringLiteral("User"), {});
    MailPassword = f.readString(mail, QStringLiteral("Password"), {});
    MailFrom = f.readString(mail, QStringLiteral("From"), {}).trimmed();
}

void TMainObject::writeMailSection()
{
    ini::IniFile& f = m_file;
    const QString mail = QStringLiteral("Mail");
    f.writeString(mail, QStringLiteral("Server"), MailServer);
    f.writeInteger(mail, QStringLiteral("Port"), MailPort);
    f.writeString(mail, QStringLiteral("Security"), MailSecurity);
    f.writeString(mail, QStringLiteral("User"), MailUser);
    f.writeString(mail, QStringLiteral("Password"), MailPassword);
    f.writeString(mail, QStringLiteral("From"), MailFrom);
}

bool TMainObject::SaveMailSettings()
{
    SaveError.clear();
    if (m_unreadable) {
        SaveError = LoadError;
        return false;
    }
    writeMailSection();
    if (!m_file.save()) {
        SaveError = m_file.errorString();
        return false;
    }
    return true;
}

bool TMainObject::SaveSettings()
{
    SaveError.clear();
    if (!Connected)
        return true;
    if (!MemoryName) {
        User.clear();
        Pass.clear();
    }
    if (m_unreadable)
        return true; // what the file holds could not be read: it is left as it is
    ini::IniFile& f = m_file;
    const QString mask = QStringLiteral("NumberMask");
    f.writeInteger(mask, QStringLiteral("N5"), N5);
    f.writeInteger(mask, QStringLiteral("N6"), N6);
    f.writeInteger(mask, QStringLiteral("N7"), N7);
    f.writeInteger(mask, QStringLiteral("N8"), N8);
    f.writeInteger(mask, QStringLiteral("N9"), N9);
    f.writeInteger(mask, QStringLiteral("N10"), N10);
    f.writeInteger(mask, QStringLiteral("N11"), N11);
    f.writeBool(QStringLiteral("Main"), QStringLiteral("MemoryName"), MemoryName);
    f.writeString(QStringLiteral("Main"), QStringLiteral("User"), User);
    f.writeString(QStringLiteral("Main"), QStringLiteral("Pass"), Pass);
    f.writeInteger(QStringLiteral("Save"), QStringLiteral("vstDeptWth"), vstDeptWth);
    const QString sort = QStringLiteral("Sort");
    f.writeInteger(sort, QStringLiteral("FieldLine"), FieldLine);
    f.writeInteger(sort, QStringLiteral("DescLine"), DescLine);
    f.writeInteger(sort, QStringLiteral("FieldRing"), FieldRing);
    f.writeInteger(sort, QStringLiteral("DescRing"), DescRing);
    // Written only when the file has the section already or something is set: a program
    // that never mails leaves no empty section behind.
    if (f.sectionExists(QStringLiteral("Mail")) || !MailServer.isEmpty() || !MailFrom.isEmpty())
        writeMailSection();
    if (!f.save()) {
        SaveError = f.errorString();
        return false;
    }
    if (m_layouts && !m_layouts->save()) {
        SaveError = m_layouts->errorString();
        return false;
    }
    return true;
}

ini::IniFile& TMainObject::GridLayouts()
{
    if (QFileInfo(GridLayoutFile()) == QFileInfo(IniFileName))
        return m_file;
    if (!m_layouts) {
        m_layouts = std::make_unique<ini::IniFile>(GridLayoutFile());
        m_layouts->load();
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
