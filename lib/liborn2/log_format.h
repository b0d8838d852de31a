// The texts of a module log file that Log writes, for programs that read such
// files back (orn log parse and follow among them): defined here once, for the
// writer and its readers alike. Constants only, each with internal linkage
// (plain constexpr, so that the header needs no more than C++11): nothing
// here is a symbol of the library.
#ifndef LIBORN2_LOG_FORMAT_H
#define LIBORN2_LOG_FORMAT_H

#include <liborn2/log.h>

/// The texts and widths of the lines that Log writes. A new file starts with
/// kHeaderTitle, kHeaderVersion and an empty line, each ended by a line end;
/// every entry starts with
/// `[yyyy/mm/dd hh:mm.ss][  module] [ThreadId:nnnn] `: the module right-aligned
/// in kModuleWidth columns, the thread after kThreadField in at least
/// kThreadMinDigits digits. A line end inside an entry is written as the file's
/// line end, kContinuation and the code of what was written (kLineFeedCode,
/// kCarriageReturnCode, kCarriageReturnLineFeedCode). The file's line end is
/// "\n", or "\r\n" on Windows.
namespace LogFormat {

/// The first line of a new file's header.
constexpr char kHeaderTitle[] = "Orn Library: Generic Logging Routines";
/// The second line of a new file's header: the date and version of the format.
constexpr char kHeaderVersion[] = "2001-08-16, v1.01.03";
/// Stands after the stamp of a message cut to Log::kMessageMax characters,
/// followed by an encoded line end and the level prefix.
constexpr char kTruncationMarker[] = "*** Logline Error: Excessive Line truncated ***";
/// Stands before the message of level 1.
constexpr char kErrorPrefix[] = "**ERROR** ";
/// Stands before the message of level 2.
constexpr char kWarningPrefix[] = "*WARNING* ";
/// Opens and closes the body of a hex dump, each time on a line of its own.
constexpr char kDumpRuler[] =
    "     ------------------------------------------------------  ----------------";
/// The bytes shown on one line of a hex dump.
constexpr int kDumpBytesPerLine = 16;
/// Stands between the module field and the thread number.
constexpr char kThreadField[] = "] [ThreadId:";
/// The fewest digits of the thread number (padded with zeros on the left).
constexpr int kThreadMinDigits = 4;
/// The module field's width: the module name, padded with blanks on the left.
constexpr int kModuleWidth = Log::kModuleSize - 1;
/// Begins every line of the file inside an entry, before the code of the line
/// end that the writer's text had there.
constexpr char kContinuation = '\t';
/// Code of a "\n" inside an entry.
constexpr char kLineFeedCode = '|';
/// Code of a "\r" not followed by "\n" inside an entry.
constexpr char kCarriageReturnCode = '<';
/// Code of a "\r\n" inside an entry.
constexpr char kCarriageReturnLineFeedCode = '=';

}  // namespace LogFormat

#endif  // LIBORN2_LOG_FORMAT_H
