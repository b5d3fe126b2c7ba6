// The program's settings for one run, read from and written to its settings file.
#pragma once

#include "ini/IniFile.h"
#include "mail/SmtpClient.h"

#include <QRect>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

/// Fields are read and written directly by the windows that use them. Created once by the
/// data module; LoadSettings runs at creation, SaveSettings at destruction (only after a
/// successful login). The settings file is read once and kept in memory for the run (the grid
/// layouts go there too); it is written at the end. Several copies of the program may share
/// the file: a write reads the file again and puts on top of it only the keys this copy changed
/// since it read or last wrote them (and the keys the file lacks), and the grid-layout sections
/// it rewrote, so what another copy wrote meanwhile stays. A file that exists but could not be
/// read is never written over.
///
/// The settings file is the program folder's when that folder can be written. An installed
/// program's folder cannot be written by its users (ProgramDirReadOnly): each user then has a
/// file of his own in his configuration folder (~/.config/kelvora/kelvora.ini), made at his
/// first start as a copy of the program folder's file, so that what an administrator put there
/// (the database of section RemoteBD) carries over.
class TMainObject
{
public:
    /// Whether the run may write the settings file. A command of the command line only reads
    /// it: it makes no user's copy at a first start (the program folder's file is read
    /// instead) and writes nothing at the end.
    enum class FileUse
    {
        ReadWrite,
        ReadOnly
    };
    /// programDir: the program folder, of the templates and the settings file (see above); the
    /// executable's directory when empty.
    explicit TMainObject(const QString& programDir = {}, FileUse use = FileUse::ReadWrite);
    ~TMainObject();
    Q_DISABLE_COPY(TMainObject)

    void LoadSettings();
    /// The number grouped by the mask choice of its length (5 to 11 characters); other
    /// lengths, choice 0 and choices past the list come back unchanged (trimmed).
    QString FormatPhoneNumber(const QString& Number) const;
    /// The mask choice for a length, 0 outside 5 to 11.
    quint8 MaskChoice(int length) const;
    void SetMaskChoice(int length, quint8 choice);
    /// The one settings file of the grid layouts, in the folder of the settings file.
    QString GridLayoutFile() const { return m_settingsDir + QStringLiteral("kelvora.ini"); }
    /// The file that keeps the grids' layouts, in memory until SaveSettings.
    ini::IniFile& GridLayouts();
    /// Writes the file when Connected (and not ReadOnly); false with a reason in SaveError when
    /// it cannot.
    bool SaveSettings();
    /// Writes the mail settings into the file at once (they are edited in a window of their
    /// own, and should not wait for the end of the run); false with a reason in SaveError
    /// when the file cannot be written, or was unreadable at start and is kept as it was.
    bool SaveMailSettings();

    /// How the layers below the windows tell the operator of a failure they cannot hand back
    /// to a caller (a commit that failed, a settings file that could not be written). The
    /// start-up installs the program's error box; until then the text goes to the log.
    using FailureReporter = std::function<void(const QString& text)>;
    static void setFailureReporter(FailureReporter reporter);
    static void reportFailure(const QString& text);

    /// True when the folder exists and this user cannot write it: his own settings file is
    /// used then. A folder below /usr counts as read-only even for root (what the system's
    /// packages install there is not changed at run time), and root keeps to the write
    /// permission of a folder's mode like any user. A folder that does not exist is not
    /// read-only: the file is sought there, and a write into it fails as it does today.
    static bool ProgramDirReadOnly(const QString& dir);
    /// The folder of the user's own settings file, with a closing '/': the user's
    /// configuration folder (XDG_CONFIG_HOME, ~/.config at first) and the program's name.
    static QString UserSettingsDir();

    bool Connected = false;
    bool MemoryName = false;
    /// The program folder, with a closing '/': the report templates are read from it.
    QString ProgramDir;
    /// The folder of the last file the program wrote for the user (empty before the first,
    /// the user's home folder when the program folder cannot be written).
    QString LastExportDir;
    QString DatabasePath;
    /// DatabasePath without the blanks and control characters an edited file may leave at its
    /// ends: the name the database is opened by.
    QString DatabaseName() const;
    /// The settings file: the program folder's, or the user's own (UserSettings).
    QString IniFileName;
    /// True when the settings file is the user's own, the program folder being read-only.
    bool UserSettings = false;
    QRect WorkArea;
    quint8 N5 = 0, N6 = 0, N7 = 0, N8 = 0, N9 = 0, N10 = 0, N11 = 0;
    int vstDeptWth = 160;
    QString User;
    QString Pass;
    int FieldLine = 0;
    int DescLine = 0;
    int FieldRing = 0;
    int DescRing = 0;

    /// Section [Mail]: the server the reports are mailed through. The file says the security
    /// as "none", "starttls" or "tls" (anything else reads as "none"; MailSecurityWord).
    QString MailServer;
    int MailPort = 25;
    mail::Security MailSecurity = mail::Security::None;
    QString MailUser;
    QString MailPassword;
    QString MailFrom;

    QString SaveError;

    /// The server of section [Mail] as the mail client takes it (no login when MailUser is
    /// empty; the library's timeouts).
    mail::ServerSettings MailServerSettings() const;
    /// The word of the settings file for a kind of security.
    static QString MailSecurityWord(mail::Security security);
    /// Why the settings file could not be read at start; empty when it was read or is missing.
    QString LoadError;

private:
    // A key of the file and the value this copy holds for it, as the file spells it.
    struct Entry
    {
        QString section;
        QString key;
        QString value;
    };
    std::vector<Entry> entries() const;
    bool writeChanges(bool mailOnly);

    QString m_programDir;
    FileUse m_use = FileUse::ReadWrite;
    QString m_settingsDir; // the folder of IniFileName, with a closing '/'
    ini::IniFile m_file;
    ini::IniFile m_base;          // the file as read or last written, before this run's layouts
    std::vector<Entry> m_written; // the values as read or last written
    std::unique_ptr<ini::IniFile> m_layouts; // only when the layouts live in another file
    ini::IniFile m_layoutsBase;
    bool m_unreadable = false;
};
