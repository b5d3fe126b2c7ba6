// How phone numbers of each length may be grouped for display.
#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace NumberMask {

constexpr int MinLength = 5;
constexpr int MaxLength = 11;

/// The choices for one length as the editor lists them ("xxx-xx"); choice 0 is no grouping.
QStringList patterns(int length);
/// Group sizes of a choice; empty for choice 0 or a choice past the list's end.
std::vector<int> groups(int length, int choice);
/// The text cut into groups of the given sizes joined by "-".
QString apply(const QString& text, const std::vector<int>& groups);

} // namespace NumberMask
