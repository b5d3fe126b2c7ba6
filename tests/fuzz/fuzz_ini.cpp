// Settings files of any content: read as load() reads one (code page 1251), then the keys the
// program reads, one write, and the text written back read again to the same values.
#include "ini/IniFile.h"

#include <QStringDecoder>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

struct Key
{
    const char* section;
    const char* key;
};

// What the program itself reads at its start.
const Key Keys[] = {{"RemoteBD", "Name"},   {"Main", "MemoryName"}, {"Main", "User"},
                    {"Main", "Pass"},       {"NumberMask", "N7"},   {"NumberMask", "N10"},
                    {"Save", "vstDeptWth"}, {"Sort", "FieldRing"},  {"Sort", "DescRing"}};

void check(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_ini: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QStringDecoder decoder("windows-1251");
    const QString text =
        decoder.decode(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    ini::IniFile f;
    f.parse(text);

    std::optional<QString> before[std::size(Keys)];
    for (std::size_t i = 0; i < std::size(Keys); ++i) {
        const QString section = QLatin1String(Keys[i].section);
        const QString key = QLatin1String(Keys[i].key);
        before[i] = f.value(section, key);
        check(!before[i] || before[i]->size() <= ini::IniFile::MaxValueLength, "value too long");
        const int n = f.readInteger(section, key, -7);
        check(before[i] || n == -7, "a missing key reads as something");
        if (before[i])
            check(n == ini::IniFile::parseInteger(*before[i]).value_or(-7),
                  "readInteger differs from parseInteger");
        f.readBool(section, key, true);
        for (const QString& k : f.keys(section))
            check(f.value(section, k).has_value(), "a listed key has no value");
    }

    // The text written back reads the same.
    ini::IniFile again;
    again.parse(f.text());
    for (std::size_t i = 0; i < std::size(Keys); ++i)
        check(again.value(QLatin1String(Keys[i].section), QLatin1String(Keys[i].key)) == before[i],
              "a value changed through text()");

    // A write is read back, and leaves the other keys as they were.
    f.writeInteger(QStringLiteral("Sort"), QStringLiteral("FieldLine"), 3);
    check(f.readInteger(QStringLiteral("Sort"), QStringLiteral("FieldLine"), 0) == 3,
          "a written integer reads otherwise");
    for (std::size_t i = 0; i < std::size(Keys); ++i)
        check(f.value(QLatin1String(Keys[i].section), QLatin1String(Keys[i].key)) == before[i],
              "a write changed another key");
    f.eraseSection(QStringLiteral("Main"));
    check(!f.sectionExists(QStringLiteral("Main")), "an erased section is still there");
    return 0;
}
