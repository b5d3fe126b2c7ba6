#include "IniFile.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <limits>

namespace ini {

namespace {

const char* const CodePage = "windows-1251";

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Returns the key of a "key=value" line, or an empty string for other lines.
QString keyOfLine(QStringView line)
{
    const QStringView t = line.trimmed();
    if (t.isEmpty() || t.startsWith(u';') || t.startsWith(u'['))
        return {};
    const qsizetype eq = t.indexOf(u'=');
    if (eq <= 0)
        return {};
    return t.left(eq).trimmed().toString();
}

} // namespace

IniFile::IniFile(QString path) : m_path(std::move(path)) {}

bool IniFile::load()
{
    m_sections.clear();
    m_error.clear();
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly)) {
        m_error = f.errorString();
        return false;
    }
    QStringDecoder decoder(CodePage);
    parse(decoder.decode(f.readAll()));
    return true;
}

void IniFile::parse(const QString& text)
{
    m_sections.clear();
    m_sections.push_back(Section{});
    // Lines end with CR LF, LF or a lone CR; the text after the last line end is a line too.
    const QStringView all(text);
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype end = start;
        while (end < all.size() && all[end] != u'\n' && all[end] != u'\r')
            ++end;
        addLine(all.mid(start, end - start));
        if (end + 1 < all.size() && all[end] == u'\r' && all[end + 1] == u'\n')
            ++end;
        start = end + 1;
    }
}

void IniFile::addLine(QStringView raw)
{
    const QStringView t = raw.trimmed();
    if (t.startsWith(u'[') && t.contains(u']')) {
        Section s;
        s.name = t.mid(1, t.indexOf(u']') - 1).trimmed().toString();
        m_sections.push_back(std::move(s));
        return;
    }
    std::vector<Line>& lines = m_sections.back().lines;
    if (raw.isEmpty() && !lines.empty() && lines.back().raw.isEmpty() &&
        lines.back().repeats < std::numeric_limits<quint32>::max()) {
        ++lines.back().repeats;
        return;
    }
    lines.push_back(Line{raw.toString(), keyOfLine(raw)});
}

QString IniFile::text() const
{
    QString out;
    for (const Section& s : m_sections) {
        if (!s.name.isEmpty() || &s != &m_sections.front())
            out += u'[' + s.name + QLatin1String("]\r\n");
        for (const Line& l : s.lines)
            for (quint32 i = 0; i < l.repeats; ++i)
                out += l.raw + QLatin1String("\r\n");
    }
    return out;
}

bool IniFile::save()
{
    m_error.clear();
    QStringEncoder encoder(CodePage);
    const QByteArray bytes = encoder.encode(text());
    QSaveFile f(m_path);
    if (!f.open(QIODevice::WriteOnly)) {
        m_error = f.errorString();
        return false;
    }
    // The file may hold a password: keep it to its owner where the file system allows.
    f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (f.write(bytes) != bytes.size() || !f.commit()) {
        m_error = f.errorString();
        f.cancelWriting();
        return false;
    }
    return true;
}

IniFile::Section* IniFile::findSection(const QString& name)
{
    for (Section& s : m_sections)
        if (!s.name.isEmpty() && sameName(s.name, name))
            return &s;
    return nullptr;
}

const IniFile::Section* IniFile::findSection(const QString& name) const
{
    return const_cast<IniFile*>(this)->findSection(name);
}

std::optional<QString> IniFile::value(const QString& section, const QString& key) const
{
    const Section* s = findSection(section);
    if (!s)
        return std::nullopt;
    for (const Line& l : s->lines) {
        if (l.key.isEmpty() || !sameName(l.key, key))
            continue;
        QString v = l.raw.mid(l.raw.indexOf(u'=') + 1).trimmed();
        if (v.size() >= 2 && ((v.startsWith(u'"') && v.endsWith(u'"')) ||
                              (v.startsWith(u'\'') && v.endsWith(u'\''))))
            v = v.mid(1, v.size() - 2);
        return v.left(MaxValueLength);
    }
    return std::nullopt;
}

QString IniFile::readString(const QString& section, const QString& key, const QString& def) const
{
    return value(section, key).value_or(def);
}

std::optional<int> IniFile::parseInteger(const QString& text)
{
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(u'-')) {
        negative = true;
        t.remove(0, 1);
    }
    int base = 10;
    if (t.startsWith(u'$')) {
        base = 16;
        t.remove(0, 1);
    } else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t.remove(0, 2);
    }
    if (t.isEmpty() || t.startsWith(u'+') || t.startsWith(u'-'))
        return std::nullopt;
    bool ok = false;
    const qint64 v = t.toLongLong(&ok, base);
    if (!ok)
        return std::nullopt;
    const qint64 signedValue = negative ? -v : v;
    if (base == 16 && !negative && v <= 0xFFFFFFFFLL)
        return static_cast<int>(static_cast<quint32>(v)); // "$FFFFFFFF" is -1, as written
    if (signedValue < std::numeric_limits<int>::min() ||
        signedValue > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(signedValue);
}

int IniFile::readInteger(const QString& section, const QString& key, int def) const
{
    const std::optional<QString> v = value(section, key);
    if (!v)
        return def;
    return parseInteger(*v).value_or(def);
}

bool IniFile::readBool(const QString& section, const QString& key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::writeString(const QString& section, const QString& key, const QString& value)
{
    const QString raw = key + u'=' + value;
    Section* s = findSection(section);
    if (!s) {
        if (m_sections.empty())
            m_sections.push_back(Section{});
        Section fresh;
        fresh.name = section;
        m_sections.push_back(std::move(fresh));
        s = &m_sections.back();
    }
    for (Line& l : s->lines) {
        if (!l.key.isEmpty() && sameName(l.key, key)) {
            l.raw = raw;
            l.key = key;
            return;
        }
    }
    // Append after the last non-blank line of the section, keeping a blank separator in place.
    auto pos = s->lines.end();
    while (pos != s->lines.begin() && (pos - 1)->raw.trimmed().isEmpty())
        --pos;
    s->lines.insert(pos, Line{raw, key, 1});
}

void IniFile::writeInteger(const QString& section, const QString& key, int value)
{
    writeString(section, key, QString::number(value));
}

void IniFile::writeBool(const QString& section, const QString& key, bool value)
{
    writeString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool IniFile::sectionExists(const QString& section) const
{
    return findSection(section) != nullptr;
}

QStringList IniFile::keys(const QString& section) const
{
    QStringList out;
    if (const Section* s = findSection(section))
        for (const Line& l : s->lines)
            if (!l.key.isEmpty())
                out << l.key;
    return out;
}

void IniFile::eraseSection(const QString& section)
{
    std::erase_if(m_sections,
                  [&](const Section& s) { return !s.name.isEmpty() && sameName(s.name, section); });
}
// The same key lines in the same order (comments and blank lines aside); a missing section is
// the same as another missing one only.
bool IniFile::sameKeys(const Section* a, const Section* b)
{
    if (!a || !b)
        return !a && !b;
    auto keyed = [](const Line& l) { return !l.key.isEmpty(); };
    auto i = a->lines.begin();
    auto j = b->lines.begin();
    while (true) {
        i = std::find_if(i, a->lines.end(), keyed);
        j = std::find_if(j, b->lines.end(), keyed);
        if (i == a->lines.end() || j == b->lines.end())
            return i == a->lines.end() && j == b->lines.end();
        if (i->raw.trimmed() != j->raw.trimmed())
            return false;
        ++i;
        ++j;
    }
}

void IniFile::takeChangedSections(const IniFile& before, const IniFile& after)
{
    QStringList names;
    for (const IniFile* f : {&before, &after})
        for (const Section& s : f->m_sections)
            if (!s.name.isEmpty() && !names.contains(s.name, Qt::CaseInsensitive))
                names << s.name;
    for (const QString& name : names) {
        const Section* now = after.findSection(name);
        if (sameKeys(before.findSection(name), now))
            continue;
        if (!now) {
            eraseSection(name);
        } else if (Section* mine = findSection(name)) {
            mine->lines = now->lines;
        } else {
            if (m_sections.empty())
                m_sections.push_back(Section{});
            m_sections.push_back(*now);
        }
    }
}

} // namespace ini
