// Erlang B by its recursion, the lines a grade of service needs and the verdict.
#include "ErlangB.h"

#include <cmath>

namespace erlang {

double blocking(int lines, double erlangs)
{
    if (erlangs <= 0)
        return 0;
    double b = 1;
    for (int k = 1; k <= lines; ++k)
        b = erlangs * b / (k + erlangs * b);
    return b;
}

int linesNeeded(double erlangs, double grade)
{
    if (erlangs <= 0)
        return 0;
    double b = 1;
    for (int k = 1; k <= 100000; ++k) {
        b = erlangs * b / (k + erlangs * b);
        if (b <= grade)
            return k;
    }
    return -1;
}

double capacity(int lines, double grade)
{
    if (lines <= 0 || grade <= 0)
        return 0;
    // B grows with A: halve the interval until it is far below the figures shown.
    double low = 0;
    double high = 1;
    while (blocking(lines, high) <= grade)
        high *= 2;
    for (int i = 0; i < 200 && high - low > 1e-12 * high; ++i) {
        const double mid = (low + high) / 2;
        (blocking(lines, mid) <= grade ? low : high) = mid;
    }
    return low;
}

QString linesWord(int count)
{
    const int n = std::abs(count) % 100;
    if (n >= 11 && n <= 14)
        return QStringLiteral("линий");
    switch (n % 10) {
    case 1:
        return QStringLiteral("линия");
    case 2:
    case 3:
    case 4:
        return QStringLiteral("линии");
    default:
        return QStringLiteral("линий");
    }
}

QString linesNeededText(int count, bool more)
{
    // The verb agrees with the number: нужна 1 (21, ...) линия, нужны 2 линии, нужно 5 линий.
    const QString word = linesWord(count);
    const QString verb = word == QStringLiteral("линия")   ? QStringLiteral("нужна")
                         : word == QStringLiteral("линии") ? QStringLiteral("нужны")
                                                           : QStringLiteral("нужно");
    return QStringLiteral("%1 %2%3 %4")
        .arg(verb, more ? QStringLiteral("ещё ") : QString())
        .arg(count)
        .arg(word);
}

QString verdict(int have, int needed)
{
    if (needed < 0)
        return QStringLiteral("Нагрузка слишком велика для расчёта");
    if (have < needed)
        return QStringLiteral("Линий не хватает: ") + linesNeededText(needed - have, true);
    if (have > needed) {
        const int k = have - needed;
        return QStringLiteral("Линий достаточно; от %1 %2 можно отказаться")
            .arg(k)
            .arg(k % 10 == 1 && k % 100 != 11 ? QStringLiteral("линии") : QStringLiteral("линий"));
    }
    return QStringLiteral("Линий достаточно");
}

} // namespace erlang
