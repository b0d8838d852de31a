// Module log files: time-stamped lines of one module, with error and warning
// prefixes, blank separator lines and hex dumps, appended to a text file that
// any number of Log objects in any number of processes may share.
#ifndef LIBORN2_LOG_H
#define LIBORN2_LOG_H

#include <liborn2/export.h>

#include <cstddef>

/// One module's writer of one log file. Every line is appended by opening,
/// writing and closing the file while the file's named mutex and a lock on the
/// file itself are held, so the lines of all writers of one file, in any
/// process of any user, never interleave; no file is held open between calls. Lines look like
/// `[2026/12/03 23:10.39][  Poller] [ThreadId:2140] *WARNING* Retry 3 of 5`.
/// With echo on, written lines also go to standard output. Results are codes;
/// nothing is thrown.
///
/// Thread contract: threads may share one object for LogLine, LogBlank and
/// Dump; EnableLog, SetModule and assignment are called while no other thread
/// uses it.
class ORN2_API Log {
 public:
  static constexpr int kFileNameSize = 256;  ///< File names have at most 255 characters.
  static constexpr int kModuleSize = 9;      ///< Module names have at most 8 characters.
  static constexpr int kMessageMax = 2048;   ///< Longer messages are cut and marked.
  static constexpr int kPrefixSize = 100;    ///< A prefix buffer; RightNow needs 54 of them.
  static constexpr int kDumpSize = 8704;     ///< The whole text of one Dump.
  static constexpr int kMaxKeep = 999;       ///< Most rotated files kept: FILE.1 to FILE.999.

  /// A log that writes nothing until EnableLog. The module name is cut to 8
  /// characters; a non-zero `echo` prints every line LogLine writes on standard
  /// output as well (and a line end on standard error for LogBlank).
  explicit Log(const char* module = "UNKNOWN", int echo = 0);
  /// Lets go of the mutex; the last log sharing it destroys it.
  ~Log();

  /// Two logs share one mutex after assignment; a copy construction would make
  /// a second owner of it, so there is none.
  Log(const Log&) = delete;
  /// Takes the other log's file name, level, enabled state, module name,
  /// rotation setting and mutex, so both then serialise on one lock; the
  /// target's echo stays its own.
  void operator=(const Log& other);

  /// Sets the module name of the following lines, cut to 8 characters (null:
  /// empty). Always 0.
  int SetModule(const char* module);
  /// Sets the file (at most 255 characters) and the level: lines of a higher
  /// level are dropped, 0 writes nothing. Names the log's mutex after the file
  /// name exactly as given, cut to Mutex::kMaxName characters as every mutex
  /// name is; only on Windows, which refuses a backslash in a mutex name, does
  /// each backslash become a forward slash. So every Log of any process
  /// writing that file (spelled the same way) takes turns with this one, and
  /// so does a program holding a Mutex named the same way (to rotate the file,
  /// say). With a non-zero level a missing file is
  /// created, exclusively, with the header lines "Orn Library: Generic Logging
  /// Routines", "2001-08-16, v1.01.03" and an empty line; an existing file is
  /// not touched, also one that this process may append to but not read (a
  /// drop box, mode 0622): it is never emptied. A symbolic link at the name is
  /// followed only where no other user can have put it (not in a folder owned
  /// by another user than the caller and root, and in a sticky folder others
  /// may write only when the link is the caller's or the folder owner's);
  /// elsewhere the file counts as one that cannot be created, and its lines
  /// are lost.
  /// 0 on success; -100 for a null, empty or too long name, for a directory,
  /// FIFO, device or socket at the path (refused at once, never waited on), or
  /// for a file that cannot be created (printing
  /// `"EnableLog() Cannot access Logfile, Logging disabled"` on standard error,
  /// no line end); -101 for a level outside 0 to 5 (file and mutex still set, a
  /// missing file still created). Logging is off after any failure or level 0.
  int EnableLog(const char* file, int level);
  /// Writes `"[yyyy/mm/dd hh:mm.ss][  module] [ThreadId:nnnn]"` into buffer,
  /// which holds at least 54 characters, and returns it: local time with a full
  /// stop before the seconds, the module right-aligned in 8 columns, the
  /// calling thread's identifier in at least 4 digits. Takes no lock.
  char* RightNow(char* buffer);
  /// Formats a printf-style message and appends the line: RightNow, a blank,
  /// `"**ERROR** "` for level 1 or `"*WARNING* "` for level 2, the message.
  /// Returns the message's length, or -1 for a message cut to 2048 characters
  /// (the line then holds `"*** Logline Error: Excessive Line truncated ***"`
  /// and a line end, written as below, before the level prefix). Returns 0
  /// instead when logging is on and the level is above the log's, and at once,
  /// without formatting or locking, for a level from 4 up above the log's.
  /// Nothing is written while logging is off. Echo prints the line without the
  /// level prefix, after the locks are let go (so console lines of several
  /// writers may come out in another order than in the file).
  ///
  /// Line ends inside an entry (a strengthening of the original format): a
  /// line end in the message or the module name, and the one after the
  /// truncation marker, is written as the file's line end followed by a tab
  /// and a code naming what was written: `|` for "\n", `<` for a "\r" not
  /// followed by "\n", `=` for "\r\n". So every line of the file inside an
  /// entry begins with a tab (or, in a hex dump's body, a blank, or is empty)
  /// and no text can make a line that reads as another entry; a reader gets
  /// the exact text back by turning each line end, tab and code into what the
  /// code names. A message without "\r" or "\n" is written byte for byte as
  /// given. Other control characters (tab, escape, form feed, ...) are written
  /// as they are: they end no line for readers that split lines at "\n" or
  /// "\r\n", the only kind of reader the format supports. A null character
  /// ends the message.
  ///
  /// A line is appended whole or not at all: a write that falls short (a full
  /// disk) is cut off again, and a line that a writer killed half-way left
  /// without its line end is cut back by the next writer before it writes. A
  /// line that cannot be written (the file cannot be opened, is a directory,
  /// FIFO, device or socket, the disk is full, or the line does not fit under
  /// the process's file size limit) is lost without changing the
  /// result; it is counted in LostLines, and when a log starts losing lines it
  /// says so once on standard error:
  /// `"LogLine() Error: Cannot append to [%s] (%s), losing lines\n"` with the
  /// file name and the reason. Once a line is written again, a new loss is
  /// reported again.
  int LogLine(int level, const char* format, ...);
  /// Appends an empty line. 0, also while logging is off; -1 when the file is
  /// missing and cannot be created (logging then stops). A missing file is
  /// recreated, exclusively, with the first two header lines only, and gets no
  /// empty line; an existing one, readable or not, is appended to.
  /// An empty line that cannot be appended is lost and counted as LogLine's are.
  int LogBlank();
  /// How many lines (LogLine's and LogBlank's) this object could not write
  /// since it was constructed: an addition to the interface, since the results
  /// of LogLine and LogBlank do not tell. Not copied by assignment. Safe to
  /// call while other threads write through the object.
  unsigned long LostLines() const;
  /// Turns rotation of the log file on (an addition to the interface; off,
  /// with `maxBytes` 0, by default, and then nothing changes). When a line
  /// (LogLine, LogBlank or Dump) would take the file past `maxBytes` bytes and
  /// the file holds more than its header, the writer holding the file's mutex
  /// moves every file up one name, FILE.(keep-1) to FILE.keep (replacing it:
  /// the oldest is dropped) down to FILE to FILE.1, starts a new FILE with the
  /// three header lines, created exclusively with the mode, owner and group of
  /// the file it rotated away (as far as the writer may set them), and
  /// appends its line there. So no file is larger than `maxBytes`, unless a
  /// single line is larger than what is left after the header.
  ///
  /// The size is the one the writer finds under the mutex, so any number of
  /// Log objects in any number of processes rotate the shared file exactly
  /// once per threshold: no line is lost, duplicated, torn or moved out of the
  /// order in which the writers took the mutex. Objects of one file set up
  /// differently each rotate by their own setting, so the smallest threshold
  /// among the writers wins, and the smallest `keep`: a rotation removes
  /// FILE.(keep+1) and the names after it.
  ///
  /// A rename that fails (on Windows, while a reader holds the file open)
  /// loses nothing: the line goes to FILE as it is, the rotation is tried
  /// again at the next line, and the log says once on standard error
  /// `"LogLine() Warning: Cannot rotate [%s] (%s), appending to it meanwhile\n"`.
  /// A writer killed part-way through a rotation leaves every file under a
  /// name no newer than its content, at worst with one name missing: the next
  /// rotation moves up only the files below it, closing the gap, and a FILE
  /// found missing or empty is started with the header by the next line.
  ///
  /// 0 on success; -1, with the setting unchanged, for a negative `maxBytes`
  /// or, with rotation on, a `keep` outside 1 to kMaxKeep. Called while no
  /// other thread uses the object; may come before or after EnableLog.
  int SetRotation(long long maxBytes, int keep);
  /// Rotates the file now, as a line past the threshold would, under the
  /// file's mutex, so that it never races the writers of any process (for cron
  /// jobs, and log rotation tools that would otherwise rename the file behind
  /// the writers' backs); the new FILE holds the header lines. Only a file
  /// larger than `ifLarger` bytes is rotated. Needs a file set by EnableLog,
  /// of any level. 0 when rotated; 1 when there is no file or it is not
  /// larger; -1 for a `keep` outside 1 to kMaxKeep, a negative `ifLarger`, no
  /// file set, a special file, or a rename that failed, printing
  /// `"Rotate() Error: Cannot rotate [%s] (%s)\n"` on standard error in the two
  /// last cases (nothing is lost then: see SetRotation).
  int Rotate(int keep, long long ifLarger = 0);
  /// Writes a hex dump of `length` bytes under `title` as one LogLine at level
  /// 4: the title, an empty line, a ruler, per 16 bytes the offset (`%04X`),
  /// the bytes in hex and as printable characters (others as `.`), a ruler.
  /// Nothing while logging is off or its level is below 4. Verbatim (a `%` is
  /// no directive); cut like any message beyond 2048 characters, so up to 384
  /// bytes fit whole under a title of at most 18 characters. Line ends in the
  /// title are written as LogLine writes them in a message; the body (the
  /// empty line, the rulers and the hex lines) keeps its layout.
  void Dump(char* data, int length, const char* title);
  /// Accepted and ignored: writes nothing anywhere.
  void SysLog(int level, char* message);

 private:
  struct CountedMutex;

  void ReplaceMutex(CountedMutex* replacement);
  size_t FormatPrefix(char* out) const;
  int WriteMessage(int level, char* message, int result, size_t bodyAt);
  void EchoMessage(int level, char* message, int result, size_t bodyAt);
  size_t ComposeLine(int level, char* message, int* result, size_t bodyAt, char* line,
                     bool forFile) const;

  char fileName_[kFileNameSize];
  int level_;
  int enabled_;
  int echo_;
  CountedMutex* mutex_;
  char module_[kModuleSize];
  int processId_;
  // Added after the original fields, so that their layout stays as it was.
  unsigned long lostLines_;  // read without the lock (LostLines): atomic access
  int losing_;               // the last line was lost; under the lock
  long long maxBytes_;       // rotation: off while 0
  int keep_;
  int rotationFailing_;  // the last rotation due failed; under the lock
};

#endif  // LIBORN2_LOG_H
