// Erlang's loss formula: how often a call finds every line busy, and how many lines a traffic
// needs.
#pragma once

#include <QString>

namespace erlang {

/// B(N, A): the share of calls that find all `lines` busy when `erlangs` of traffic are
/// offered. Computed by the recursion B(0) = 1, B(k) = A·B(k-1) / (k + A·B(k-1)), which never
/// forms the factorials or powers of the closed formula and stays exact to rounding for
/// thousands of lines. 1 for no lines (with traffic), 0 without traffic.
double blocking(int lines, double erlangs);
/// The fewest lines for which B(N, A) does not exceed `grade` (0 < grade < 1); 0 without
/// traffic; -1 when no reasonable number of lines does (more than 100,000).
int linesNeeded(double erlangs, double grade);
/// The most traffic `lines` lines carry with B(N, A) not above `grade`.
double capacity(int lines, double grade);
/// The verdict in words for `have` lines where `needed` are needed.
QString verdict(int have, int needed);
/// "линия", "линии" or "линий" after a number.
QString linesWord(int count);
/// "нужна 1 линия", "нужны 2 линии", "нужно 5 линий"; with `more`: "нужна ещё 1 линия", ...
QString linesNeededText(int count, bool more = false);

} // namespace erlang
