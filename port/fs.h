// Platform layer: files. Status with 64-bit times and sizes, opening regular
// files without ever blocking, appending whole lines, writing a file through
// to stable storage, and the steps of a crash-safe replacement.
#ifndef ORN2_PORT_FS_H
#define ORN2_PORT_FS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace orn2::port {

struct FileStatus {
  int64_t size;              // bytes
  int64_t modificationTime;  // seconds since 1970-01-01 UTC
  bool regular;              // a regular file (not a directory, FIFO, device or socket)
  // The rest of the modification time, at the file system's resolution (0 to
  // 999999999; 100 ns steps on Windows), and the file's identity: device and
  // inode, or volume serial number and file index. Zero where not known.
  int32_t modificationNanoseconds;
  uint64_t device;
  uint64_t fileId;
};

// Reads the status of `path`; false (errno set) when it cannot be read.
bool StatFile(const char* path, FileStatus* status);

// --- Regular files ----------------------------------------------------------
// Config and Log open regular files only. The open itself never blocks (a FIFO
// without a peer, a device: non-blocking, no controlling terminal, not
// inherited), and the type is checked on what was opened, not on the path, so
// a path swapped between a check and the open cannot make a caller block or
// write into a special file.

// An open file: a descriptor, or a HANDLE, held as an integer. Closed once,
// by CloseFile or by the stream TextStream makes of it.
struct FileHandle {
  intptr_t value;
};

enum class FileAccess {
  kRead,    // reading; the file must exist
  kUpdate,  // reading, and writing at the end only; the file must exist
  kAppend,  // writing at the end only; a missing file is created empty
  kExtend,  // writing at the end only; the file must exist (it may be unreadable)
  kCreate,  // writing from the start; created when missing, emptied when it exists
};

enum class OpenOutcome {
  kOpened,      // *file is open (and *status filled when asked for)
  kNotRegular,  // a directory, FIFO, device or socket: refused, and left as it was
  kFailed,      // errno says why (ENOENT: no such file)
};

// Opens `path` for `access` as described above; `status` may be null. A file
// that kCreate finds is emptied only after it proved to be a regular file.
//
// Links. A symbolic link at `path` itself is followed only where no other
// user can have put it there (the rule the Linux kernel applies with
// fs.protected_symlinks, enforced here wherever the kernel does not): not in
// a folder owned by another user (root aside), and in a sticky folder that
// others may write (/tmp, a shared drop folder) only when the link is the
// caller's or the folder owner's. Anywhere else a link is refused as if
// missing, with errno ELOOP: nothing is read from, written to or created at
// its target. Every open of this layer, kAppend included, keeps this rule.
// On Windows every reparse point is followed as the system does: creating a
// link there takes a privilege.
//
// kAppend without a status is the open of every log line, and its check costs
// no more than it must (a full status costs more than the line's write): on
// POSIX, the open itself refuses directories, sockets and FIFOs without a
// reader, a seek to the end refuses FIFOs with a reader and terminals, and a
// file that looks empty has its type checked, which refuses the devices that
// look empty (/dev/null and its kind). A device that reports a size (a block
// device) is left positioned at its end, where a write puts nothing: AppendText
// fails on it, and IsRegularFile then tells why. So no byte ever reaches
// anything but a regular file.
OpenOutcome OpenRegularFile(const char* path, FileAccess access, FileHandle* file,
                            FileStatus* status);

// Opens an existing `path` for appending (kFailed, errno ENOENT, when it is
// missing: creating it is the caller's choice), checked exactly as
// OpenRegularFile checks it, takes the writers' lock (see LockWriters below) and then sets *end to the
// file's size: where AppendText puts the next text. The size comes from the
// check that the open makes anyway (the seek to the end), so knowing it costs
// a log line nothing. A writer that had to wait for the lock checks that the
// path still names the file it holds (a writer of another user may have
// rotated it meanwhile) and opens the new one if not. A special file is
// refused before it is waited on. Where the file system has no such locks,
// the file is opened without.
OpenOutcome OpenForAppend(const char* path, FileHandle* file, int64_t* end);

// True when the open file is a regular file (see kAppend above).
bool IsRegularFile(FileHandle file);

void CloseFile(FileHandle file);

// A buffered stream in text mode over an open file ("rt" for kRead, "wt"
// otherwise), which owns the file from then on. Null when the runtime refuses;
// the file is closed then as well.
std::FILE* TextStream(FileHandle file, FileAccess access);

// Appends `length` bytes of text at the end of a file opened for kUpdate or
// kAppend, in one write, each "\n" written as the platform's text-mode line end ("\r\n"
// on Windows). A write that falls short is undone: the bytes that reached the
// file are cut off again. True when the text was appended whole; false (errno
// set) when none of it was. The caller holds the lock that serialises the
// file's writers, so that nobody appends between the write and its undo.
bool AppendText(FileHandle file, const char* text, std::size_t length);

// The bytes that AppendText puts in the file for `length` bytes of `text`:
// more than `length` where a line end takes two bytes.
std::size_t AppendedSize(const char* text, std::size_t length);

// Reads `length` bytes at `offset` of a file opened for kRead, kUpdate or
// kAppend, without moving where AppendText writes. False (errno set) unless
// all of them were read: past the end, or a file that cannot be read (an
// append-only file of another user).
bool ReadAt(FileHandle file, int64_t offset, char* out, std::size_t length);

// Cuts a file opened for kUpdate or kAppend to its first `length` bytes.
// False (errno set) on failure.
bool TruncateTo(FileHandle file, int64_t length);

// --- The lock of a file's writers -------------------------------------------
// Every process that appends to a file takes this lock on its open file before
// it looks at the file's end, whatever its user: anyone who can open the file
// for appending can take it. It is a lock of the open file (flock on POSIX,
// LockFileEx far beyond any end on Windows), held until the file is closed,
// and never by a thread: it serialises processes, not the threads of one.

// Takes the lock on a file opened otherwise (OpenForAppend takes it itself),
// waiting while another open file holds it; *waited tells whether it had to
// wait. False (errno set) where the file system has no such locks; the
// caller then goes on without it.
bool LockWriters(FileHandle file, bool* waited);

// True when `path` still names the open file: not renamed away (a rotation by
// a writer the caller waited for) and not replaced.
bool PathNamesFile(const char* path, FileHandle file);

// The file's size now; false (errno set) when it cannot be read.
bool EndOf(FileHandle file, int64_t* end);

// Whether a write of `length` bytes at `end` finds room under the process's
// file size limit; a write with no room would raise a signal that ends the
// process (SIGXFSZ) instead of failing. False with errno EFBIG when it does not.
bool RoomUnderSizeLimit(int64_t end, std::size_t length);

// The path of the directory entry that `path` names, as every process spells
// it: its folder absolute with symbolic links resolved, the last component as
// given; on Windows a full path with the ASCII letters in lower case, as names
// are compared ignoring case there. False when the folder cannot be resolved.
bool CanonicalPath(const char* path, std::string* canonical);

// Flushes the stream's buffer and the file's data to stable storage
// (fflush + fsync, fflush + _commit). False when either fails.
bool SyncFile(std::FILE* file);

// Makes `to` name the content of `from`: a hard link when the file system
// allows one, otherwise a copy made as CreateExclusive makes a file, with the
// protection of `from`. `to` must not exist. False (errno set) on failure.
bool LinkOrCopyFile(const char* from, const char* to);

// Creates `path` for writing, exclusively: it must not exist, and a link at
// the name is never followed (O_CREAT|O_EXCL|O_NOFOLLOW; CREATE_NEW). With
// `replaceOwn`, a regular file at the name that the caller owns (left there
// by a run that was killed) is removed first (RemoveOwnLeftover); anything
// else there is refused (kFailed, errno EEXIST). The new file is protected like
// `like` before the call returns, that is before anything is written: on
// POSIX its permission bits, owner and group (the owner and group as far as
// the caller may set them; when the group cannot be kept, the group's bits are
// dropped, so that nobody reads what they could not read in `like`); on
// Windows its access control list. `like` itself is looked at, never what a
// link there leads to. With `like` null, missing or a link, the new file
// gets the umask's mode (on POSIX never less than read and write for its
// owner) and the folder's inherited access control list.
OpenOutcome CreateExclusive(const char* path, const char* like, bool replaceOwn, FileHandle* file);

// Frees the name `path` for CreateExclusive or a hard link: removes a regular
// file there that the caller owns (on Windows one that it may delete). True
// when the name is free; false (errno EEXIST) when anything else holds it: a
// link, a special file, another user's file.
bool RemoveOwnLeftover(const char* path);

// The file that writing to `path` must replace: `path` itself, or, when it is
// a symbolic link (a reparse point on Windows) that OpenRegularFile's rule
// lets be followed, the file the link leads to, links after links resolved.
// False (errno ELOOP) for a link that must not be followed.
bool ResolveLinkToWrite(const char* path, std::string* target);

// Renames `from` over `to` in one atomic step, as ReplaceFileAtomically, for
// a file made by CreateExclusive in the likeness of `to`; on Windows the new
// file also takes `to`'s hidden, system, archive and not-indexed attributes
// (its access control list it got at its creation). False (errno set) on
// failure.
bool ReplaceKeepingProtection(const char* from, const char* to);

// Renames `from` to `to` in one atomic step, replacing `to` when it exists,
// so that `to` is never missing. False (errno set) on failure.
bool ReplaceFileAtomically(const char* from, const char* to);

// Renames `from` to `to`, replacing `to` when it exists, without waiting:
// false (errno set; ENOENT when `from` is missing) when it cannot. On Windows
// that includes either file being held open by a process that did not share
// its deletion (a reader, as most programs open files), which a caller can
// only try again later.
bool RenameReplacing(const char* from, const char* to);

// Makes the directory entries of the folder holding `path` durable (fsync of
// the directory); does nothing where the system needs no such step.
void SyncParentDirectory(const char* path);

}  // namespace orn2::port

#endif  // ORN2_PORT_FS_H
