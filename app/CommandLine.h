// The command line of the program: the commands for cron and timers, read from the arguments.
#pragma once

#include "data/Period.h"
#include "data/ReportKind.h"
#include "grid/GridExporter.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace cli {

/// The exit statuses of a command, as the manual page and --help list them.
enum ExitStatus
{
    Done = 0,         ///< everything done: every message went, the file is written
    SomeNotSent = 1,  ///< the mailing: some subscribers got their message, some did not
    BadArguments = 2, ///< the command line is wrong; nothing was read, sent or written
    Failed = 3,       ///< no settings, no login, a database failure, a template or a file
    NothingSent = 4   ///< the mailing sent nothing (no mail settings, the server down...)
};

/// What a command line asks for.
struct Command
{
    enum class Kind
    {
        Help,
        Version,
        Mail,
        Report,
        Export
    };
    Kind kind = Kind::Help;
    stmt::Period period;
    bool dryRun = false;
    ReportKind report = ReportKind::BySubscriber;
    QString pdf;
    /// The files the call list goes to, in the order of the command line's formats.
    std::vector<std::pair<grid::ExportFormat, QString>> exports;
    // The call list's filter.
    int line = 0;
    int subscriber = 0;
    bool incoming = true;
    bool outgoing = true;
    QString prefix;
    int minSeconds = 0;
    bool outside = false; ///< also the calls of lines and subscribers missing from the directories
    // The login, when not the settings file's.
    QString database;
    QString user;
    QString passwordFile;
};

/// Whether the arguments are a command (or the command line's help) rather than the start of
/// the windows: any argument but the toolkit's own ("-platform xcb", "-session ..." and the
/// like, one dash and not -h or -v).
bool IsCommandLine(const QStringList& arguments);

/// Reads the arguments (the program's name first) with `today` for the period words: the
/// command, or nullopt with the reason in the program's words in `error`.
std::optional<Command> ParseCommandLine(const QStringList& arguments, const QDate& today,
                                        QString& error);

/// The text of --help: the commands, their options, the periods and the exit statuses.
QString HelpText();

} // namespace cli
