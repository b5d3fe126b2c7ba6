// A Windows initialization file (sections of key=value lines) in code page 1251.
#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace ini {

/// Holds the whole file in memory as its lines, so that a write replaces a key's line in place
/// (or appends it to its section) and every line the program does not know is kept as it was.
/// Section and key names compare without regard to case. Nothing touches the disk except
/// load() and save().
class IniFile
{
public:
    explicit IniFile(QString path = {});

    const QString& path() const { return m_path; }

    /// Reads the file; a missing or unreadable file leaves the object empty and returns false
    /// with the reason in errorString().
    bool load();
    /// Parses text already decoded (used by load() and by tests).
    void parse(const QString& text);

    /// Writes the file through a temporary file renamed over the old one, readable and writable
    /// by the owner only. Returns false with a reason in errorString() when it cannot be written.
    bool save();
    QString errorString() const { return m_error; }

    /// The text form of the file as save() writes it (lines joined by CR LF).
    QString text() const;

    /// The value after "=", blanks around it and one pair of enclosing quotes dropped, at most
    /// 2047 characters; std::nullopt when the section or key is missing.
    std::optional<QString> value(const QString& section, const QString& key) const;
    QString readString(const QString& section, const QString& key, const QString& def) const;
    /// Decimal, "$" hexadecimal or "0x" hexadecimal; anything else reads as def.
    int readInteger(const QString& section, const QString& key, int def) const;
    /// An integer where any non-zero value is true.
    bool readBool(const QString& section, const QString& key, bool def) const;

    void writeString(const QString& section, const QString& key, const QString& value);
    void writeInteger(const QString& section, const QString& key, int value);
    void writeBool(const QString& section, const QString& key, bool value);

    bool sectionExists(const QString& section) const;
    /// Keys of a section in file order.
    QStringList keys(const QString& section) const;
    /// Removes the section with all its lines.
    void eraseSection(const QString& section);
    /// Gives each section whose key lines differ between `before` and `after` (two states of
    /// one program's copy) the lines `after` holds, or removes it when `after` has no such
    /// section; the sections the two agree on stay as this object holds them. Used to put what
    /// a program changed on top of the file as another program left it.
    void takeChangedSections(const IniFile& before, const IniFile& after);

    /// Parses an integer the way readInteger does.
    static std::optional<int> parseInteger(const QString& text);

    static constexpr int MaxValueLength = 2047;

private:
    struct Line
    {
        QString raw;
        QString key;         // empty for comments and blank lines
        quint32 repeats = 1; // a run of empty lines is kept as one
    };
    void addLine(QStringView raw);
    struct Section
    {
        QString name; // empty for the lines before the first section
        std::vector<Line> lines;
    };

    Section* findSection(const QString& name);
    const Section* findSection(const QString& name) const;
    static bool sameKeys(const Section* a, const Section* b);

    QString m_path;
    QString m_error;
    std::vector<Section> m_sections;
};

} // namespace ini
