// Comma- or semicolon-separated text, as spreadsheets write it: the rows of fields that the
// operator's files (bills, price lists) are read from.
#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

#include <vector>

namespace csv {

struct Rows
{
    std::vector<QStringList> rows;
    std::vector<int> lines; ///< the line each row begins on, from 1
};

/// The rows of `text` with fields between `delimiter`: a field in double quotes may hold the
/// delimiter, line breaks and doubled quotes, and is kept as written; spaces around any other
/// field are dropped. Lines end in LF or CR LF; a row whose fields are all empty is skipped.
Rows split(const QString& text, QChar delimiter);

} // namespace csv
