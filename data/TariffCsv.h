// A plan's rules as the text fields of a price list, and price lists as CSV files.
#pragma once

#include "Tariffs.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace tariff {

/// The titles of a rule's fields, in the order of the editor's columns and of the CSV file.
QStringList ruleTitles();

/// A rule's fields as the operator reads and writes them (decimal comma, dd.MM.yyyy).
QStringList ruleFields(const Rule& rule);
/// Reads a rule from its fields (see ruleTitles; missing trailing fields are empty). On
/// refusal returns false with the reason, naming the field and quoting the value refused
/// ("Цена минуты: «abc» — …"), in `error`.
/// Empty numeric fields take the defaults: 60/60 intervals, no free seconds, no fee; the
/// price of a minute must be given.
bool ruleFromFields(const QStringList& fields, Rule& rule, QString& error);

/// What an import read.
struct CsvImport
{
    std::vector<Rule> rules;
    /// Lines refused: the line's number in the file (from 1) and why.
    std::vector<std::pair<int, QString>> refused;
    /// Why the whole file was refused (not UTF-8, no title line); empty when it was read.
    QString error;
};

/// Reads a price list: UTF-8 (a byte-order mark allowed), ";" between fields (a field in double
/// quotes may hold one), the title line first, decimal comma or point, dates as dd.MM.yyyy or
/// empty. Every line has all nine fields, empty ones included: a line with fewer is refused.
/// Empty lines are skipped.
CsvImport readCsv(const QByteArray& data);
/// Writes rules in the form readCsv reads: UTF-8 with a byte-order mark, CRLF line ends.
QByteArray writeCsv(const std::vector<Rule>& rules);

} // namespace tariff
