#include "NumberMask.h"

namespace NumberMask {

namespace {

// Group sizes per length, choices 1 onward (choice 0 keeps the number whole).
const std::vector<std::vector<int>>& table(int length)
{
    static const std::vector<std::vector<std::vector<int>>> all = {
        {{1, 2, 2}, {2, 3}, {3, 2}},
        {{1, 5}, {1, 2, 3}, {2, 2, 2}, {3, 3}},
        {{1, 6}, {1, 3, 3}, {1, 2, 2, 2}, {2, 3, 2}, {3, 4}, {4, 3}},
        {{1, 7}, {1, 3, 4}, {2, 2, 2, 2}, {2, 3, 3}, {3, 3, 2}},
        {{1, 8}, {1, 3, 3, 2}, {3, 3, 3}},
        {{1, 9}, {1, 3, 3, 3}, {2, 2, 3, 3}, {3, 3, 2, 2}},
        {{1, 10}, {1, 3, 3, 2, 2}, {1, 2, 2, 2, 2, 2}, {4, 3, 2, 2}},
    };
    static const std::vector<std::vector<int>> none;
    if (length < MinLength || length > MaxLength)
        return none;
    return all[std::size_t(length - MinLength)];
}

} // namespace

QStringList patterns(int length)
{
    QStringList out;
    if (length < MinLength || length > MaxLength)
        return out;
    out << QString(length, u'x');
    for (const std::vector<int>& g : table(length)) {
        QStringList parts;
        for (int n : g)
            parts << QString(n, u'x');
        out << parts.join(u'-');
    }
    return out;
}

std::vector<int> groups(int length, int choice)
{
    const std::vector<std::vector<int>>& t = table(length);
    if (choice <= 0 || choice > int(t.size()))
        return {};
    return t[std::size_t(choice - 1)];
}

QString apply(const QString& text, const std::vector<int>& groups)
{
    if (groups.empty())
        return text;
    QStringList parts;
    qsizetype pos = 0;
    for (int n : groups) {
        parts << text.mid(pos, n);
        pos += n;
    }
    if (pos < text.size())
        parts << text.mid(pos);
    return parts.join(u'-');
}

} // namespace NumberMask
