// Config: one configuration file of sections and key/value lines, kept in
// memory as a list of records, loaded, looked up, edited and saved back.
#ifndef LIBORN2_CONFIG_H
#define LIBORN2_CONFIG_H

#include <liborn2/export.h>

#include <cstdint>
#include <string>
#include <vector>

class OrnEndPoint;

namespace orn2::config {
struct ConfigProbe;
}

/// One configuration file of sections ("[soap]") and key/value lines
/// ("port=443"), held in memory as a doubly linked list of records in file
/// order. It loads the file (restoring an empty file from its ".Save" backup),
/// reloads it when the file's modification time moves forward, answers lookups,
/// enumerates sections and keys, edits the list and saves it back through a
/// ".New" file and a ".Save" backup.
///
/// Section and key names are compared ignoring case (ASCII letters only). Full
/// names ("section/key") are cut to kNameMax (127) characters and values to
/// kValueMax (512). Results
/// are codes (0 or -1, predicates 1 or 0, in-band failure values for numbers);
/// diagnostics are one-line messages on standard error; the class throws
/// nothing of its own (only the allocation failure can pass through).
///
/// Thread contract: used by one thread at a time, lookups included (every call
/// moves the cursor, and lookups may reload the whole file). Different objects
/// are independent.
class ORN2_API Config {
 public:
  static constexpr int kNameMax = 127;       ///< Full names are cut to 127 characters.
  static constexpr int kNameSize = 129;      ///< A record's name field: holds any name or key.
  static constexpr int kValueMax = 512;      ///< Values are cut to 512 characters.
  static constexpr int kValueSize = 513;     ///< A record's value field: holds any value.
  static constexpr int kFileNameMax = 250;   ///< Longer file names are refused (room for ".Save").
  static constexpr int kFileNameSize = 256;  ///< Holds any file name the store accepts.
  static constexpr int kMissingInteger = 65535;      ///< GetInteger's answer for no number.
  static constexpr long kMissingLong = 2147483647L;  ///< GetLong's answer for no number.

  /// One line of the file that the store keeps: a key record (kind kKeyRecord)
  /// or a kept comment or blank line (kind kLineRecord). Zero-filled when made,
  /// so both texts are always terminated inside the record.
  struct tConfigRecord {
    char name[kNameSize];     ///< Full name "section/key", or the key alone; empty for a line.
    char value[kValueSize];   ///< The value, or the text of a kept line.
    int kind;                 ///< kKeyRecord or kLineRecord.
    tConfigRecord* previous;  ///< The record before, null for the head.
    tConfigRecord* next;      ///< The record after, null for the tail.
  };
  static constexpr int kKeyRecord = 0x100;   ///< Kind of a key record.
  static constexpr int kLineRecord = 0x110;  ///< Kind of a kept comment or blank line.

  /// An empty store; when `fileName` is not null it is loaded with LoadConfig.
  /// The load's result is not kept: ask IsConfigLoadedOk.
  Config(const char* fileName = nullptr);
  /// Deep copy of records, flags, file name and enumeration positions: two
  /// stores never share records.
  Config(const Config& other);
  /// Frees the target's records, then copies as the copy constructor does.
  Config& operator=(const Config& other);
  /// Frees the records.
  ~Config();

  /// Reads `fileName` and appends its records to those already held (the list
  /// is not emptied first). Only a regular file of size 0 is restored from its
  /// ".Save" backup (itself a regular file), never a missing one; a directory,
  /// FIFO, device or socket is opened without blocking and never restored,
  /// deleted or replaced.
  ///
  /// Results: 0 on success, an empty file included; -1 when the file cannot be
  /// accessed (after one retry), its name is over 250 characters, or an empty
  /// file cannot be restored; 1 when the file exists but cannot be opened for
  /// reading, is a symbolic link that another user may have placed (the rule
  /// of SaveConfig), or is a directory, FIFO, device or socket (no message,
  /// loaded flag unchanged).
  ///
  /// Messages on standard error:
  /// `"LoadConfig() Error: Cannot access [%s]\n"`,
  /// `"LoadConfig() Warning: filesize of %s is Zero\n"`, then either
  /// `"LoadConfig() Warning: No suitable backups loacated\n"` (spelled so) or
  /// `"LoadConfig() Warning: Restoring saved CF file: [%s] (%d bytes)\n"`, and
  /// `"LoadConfig() Error: Unable to restore saved CF\n"` when restoring fails.
  int LoadConfig(const char* fileName);
  /// The loaded flag: 1 after a successful load, 0 after construction without
  /// one, ResetState or ReleaseConfig. A failed load leaves it as it was.
  int IsConfigLoadedOk();
  /// Frees every record and clears the loaded flag, file name, current section
  /// and modification time; enumerations in progress end. Always 0.
  int ResetState();
  /// The same as ResetState; the object stays usable as an empty store. Always 0.
  int ReleaseConfig();

  /// Copies the value of `key` in `section` into `buffer`, cut to length - 1
  /// characters and terminated; a null section takes `key` as the full name
  /// ("soap/port"). Of duplicate keys the first wins. First reloads the file
  /// when its modification time moved forward (unsaved edits are then lost):
  /// at the file system's full resolution (nanoseconds; 100 ns on Windows),
  /// and an equal time counts as later when the file is another one (device
  /// and inode, or volume and file index: a save renamed over it within one
  /// clock tick), so a save made at any time after the load is seen (a
  /// deliberate strengthening of the whole-second comparison). A change of
  /// size alone, or a time that went back, reloads nothing.
  ///
  /// Results: 0 when found, -1 when not; the buffer is zero-filled first
  /// either way.
  ///
  /// Messages on standard error: `"CheckModified() Error: Cannot stat [%s]!\n"`
  /// when it cannot read the file's status (on every lookup of a store that
  /// never loaded a file).
  int GetString(const char* key, char* buffer, int length, const char* section);
  /// The value as an int: hexadecimal after a lower-case "0x" (digits in either
  /// case, 32-bit wrapping), otherwise decimal as atoi reads it (no digits, or
  /// "0X10", give 0; beyond 32 bits it saturates). kMissingInteger (65535) when
  /// the key is missing or a hex digit is bad; in band, so a stored 65535 reads
  /// the same.
  int GetInteger(const char* key, const char* section);
  /// As GetInteger (a 32-bit value), but kMissingLong (2147483647) on failure.
  long GetLong(const char* key, const char* section);

  /// Starts the section enumeration: the section part of the first key
  /// record's name (a key outside sections counts as a section of its whole
  /// name), or null when there is no key record. The pointer is to this
  /// object's current section field, overwritten by the next step.
  char* GetFirstSection();
  /// The next section whose name differs, ignoring case, from the last one
  /// handed out; null at the end. A section is reported once per run of its
  /// keys, so sections [a], [b], [a] give "a", "b", "a".
  char* GetNextSection();
  /// 1 when a key record's full name begins with `section`, ignoring case, over
  /// the name's length, else 0. No slash is required: "soa" exists when "soap"
  /// does, and "" exists as soon as the store holds a key.
  int SectionExists(const char* section);
  /// Starts the key enumeration of `section`: 1 and the first key, else 0. The
  /// key is what follows the section name and one separator, cut to length - 1
  /// characters; no slash is required, so "soa" applied to "soap/port" yields
  /// "/port". The buffer is zero-filled first, but untouched on an empty store.
  int GetFirstKey(const char* section, char* buffer, int length);
  /// The next key of `section` (here "section/" must match): 1 and the key, cut
  /// to length - 1 characters, or 0 at the end. Walks to the end of the list, so
  /// a section written in two places yields all its keys.
  int GetNextKey(const char* section, char* buffer, int length);

  /// Sets `key` in `section` (null: `key` is the full name) to `value`, cut to
  /// 512 characters. A record of that name (ignoring case) is overwritten in
  /// place and keeps its name; otherwise a new one goes after the section's
  /// first key (`position` 0 and any value but 1 or 2), after its last key (1)
  /// or before its first key (2), or at the tail when the section has no key or
  /// is null or empty. A section's keys are those whose name begins with the
  /// section name ("soap" also matches "soapbox/x"). An empty (not null) section
  /// never finds an existing record, so each call appends another one.
  /// `reserved` is ignored. Always 0; only memory changes until SaveConfig.
  int SetString(const char* key, const char* value, int reserved, const char* section,
                int position);
  /// Whether SetString(key, value, 0, section, position) followed by
  /// SaveConfig and a load gives back exactly this key and value, and leaves
  /// every other key in its section (an addition to the interface, for tools
  /// that must not save what loads back differently; SetString itself stores
  /// anything). Takes no lock, changes nothing, reloads nothing.
  ///
  /// Results: 1 when it does; 0 when not, with a short reason in `*reason`
  /// (a static text) when `reason` is not null. Not storable: an empty key, a
  /// key holding white space or "=", a key (after its section's slash, for a
  /// full name with a null section) that begins with "[", "#" or ";"; an empty
  /// section name (the empty, not null, section never finds its key again) or
  /// one holding "/", "]" or a line end; a full name over 127 characters; an
  /// empty value, one over 512 characters, one holding a line end, beginning
  /// with white space or "=", or ending in white space. And by where the key
  /// is saved: a key outside sections (null section, no slash) is storable
  /// only where it stands before every key of a section, so a new one only in
  /// a store that holds no key of a section (SetString appends it at the tail,
  /// and the save would write it under the last section line); a new key of a
  /// section is not storable where SetString would place it right before a key
  /// outside sections.
  int IsStorable(const char* key, const char* value, const char* section, int position = 0,
                 const char** reason = nullptr);
  /// SetString with position 1: a new key goes after the section's last key.
  int SetStringAtTail(const char* key, const char* value, int reserved, const char* section);
  /// SetString with position 2: a new key goes before the section's first key.
  int SetStringAtHead(const char* key, const char* value, int reserved, const char* section);
  /// Removes the key records of `section` whose key begins with `prefix`
  /// (ignoring case), except those whose key begins with `keepPrefix`; kept
  /// lines stay. An empty prefix selects the whole section; an empty keep
  /// prefix protects it all. Both enumerations restart at the head. Always 0.
  int RemoveRecords(const char* section, const char* prefix, const char* keepPrefix);
  /// Removes the key records named exactly `key` in `section` (null: `key` is
  /// the full name), ignoring case; keys that merely begin with `key` stay. An
  /// addition to the interface, for removing one key where RemoveRecords
  /// would take every key with that prefix. Both enumerations restart at the
  /// head. 0 when a record was removed, -1 when there was none.
  int RemoveKey(const char* key, const char* section);
  /// Writes the store to `fileName` through "fileName.New"; the previous file
  /// becomes the "fileName.Save" backup and the new file then takes its name
  /// in one step. Format: `"\n[%s]\n"` at each change of section, keys as
  /// `"    %s=%s\n"`, kept lines as they are. The object's file name, flag and
  /// time stay; the next lookup usually reloads the saved file.
  ///
  /// Crash safety: the file is never missing or partial, and once a backup
  /// exists, "fileName.Save" never goes missing (the new backup is made under
  /// "fileName.Prev" and renamed over the old one).
  ///
  /// Protection: the saved file keeps the previous file's permission bits,
  /// owner and group (on Windows its access control list and its hidden,
  /// system and archive attributes), and the backup is the previous file
  /// itself. "fileName.New" is created exclusively, never through a link,
  /// already protected like the file before any content is written; a new
  /// file gets the umask's mode, never less than read and write for its
  /// owner. Nothing is written outside the file's folder. A ".New" or ".Prev"
  /// left by a killed save of the same user (a regular file of the caller's)
  /// is replaced; anything else there (another user's file, a link, a special
  /// file) stops the save. A symbolic link at `fileName` is saved through (its
  /// target is replaced, its companion files go beside the target, the link
  /// stays) unless another user may have placed it: in a folder owned by
  /// another user than the caller or root, or in a sticky folder others may
  /// write when the link is neither the caller's nor the folder owner's; such
  /// a link stops the save.
  ///
  /// Results: 0 on success; -1 when the name is over 250 characters, names a
  /// directory, FIFO, device or socket (refused before anything happens), the
  /// new file cannot be created, written or closed (file and backup
  /// untouched), a ".New" or ".Prev" or the link at `fileName` stops the save
  /// as above (nothing is written), or the last rename fails.
  ///
  /// Messages on standard error: none in the first three cases;
  /// `"SaveConfig() Error: [%s] exists and is no file of ours, not saved\n"`
  /// for a ".New" or ".Prev" that is not replaced,
  /// `"SaveConfig() Error: [%s] is a link that is not followed here, not saved\n"`
  /// for a link that is not saved through, and `"Whilst saving config: %s\n"`
  /// with strerror(errno) when the last rename fails.
  ///
  /// Threads and processes: saves of one file are serialised across processes
  /// by the named Mutex of SaveLockName, so concurrent savers each replace the
  /// file whole; loads take no lock.
  int SaveConfig(const char* fileName);
  /// The name of the named Mutex that SaveConfig holds while it saves
  /// `fileName`. A caller that loads, changes and saves one file as one step,
  /// so that no concurrent update in another process is lost, holds a Mutex
  /// of this name around the three; the mutex is recursive, so SaveConfig
  /// takes it again inside. Derived from the file's folder, resolved from the
  /// root with symbolic links followed, and the file's own name (of the link's
  /// target for a link that SaveConfig saves through), so processes
  /// in different working directories agree (on Windows the full path, letters
  /// folded to lower case); a file whose folder does not exist is named as
  /// given. At most Mutex::kMaxName characters of [A-Za-z0-9._-]. Writes it
  /// into `buffer` of `length` bytes, at least Mutex::kMaxName + 1; 0, or -1
  /// (nothing written) for a null, empty or over-250-character name or a
  /// smaller buffer.
  static int SaveLockName(const char* fileName, char* buffer, int length);
  /// Prints the store on standard error in the format SaveConfig writes (an
  /// empty store prints nothing); no file is touched. Always 0.
  int DumpConfig();
  /// Puts the store into `text` (replacing what it held) in the format
  /// SaveConfig writes, with "\n" line ends on every platform; an empty
  /// store gives an empty text. No file is touched, so a program can show or
  /// compare a configuration without writing its content anywhere. Always 0.
  int RenderText(std::string& text);

  /// Replaces the content of `endPoints` by the servers of section "soap": the
  /// keys "server", "protocol" and "port", then `"server_%d"`, `"protocol_%d"`
  /// and `"port_%d"` for 1 to "endpoint_size" - 1 (at most 9999), incomplete
  /// ones skipped silently. Values are taken unchecked (protocol and port cut
  /// to 5 characters, server to 511, port by atoi: no digits give 0), and every
  /// endpoint is valid. 0 when at least the first one was read, -1 (and an
  /// empty vector) when not.
  int RetrieveEndPoints(std::vector<OrnEndPoint>& endPoints);

 private:
  struct Index;  // case-folded full name -> first key record of that name
  friend struct orn2::config::ConfigProbe;

  void AppendNode(tConfigRecord* record);
  int FreeList();
  void CheckModified();
  int ReadEndPoint(const char* serverKey, const char* protocolKey, const char* portKey,
                   OrnEndPoint& endPoint);

  // Private steps of the load and the edits.
  void HandleLine(const char* line, char* section);
  void LinkAfter(tConfigRecord* anchor, tConfigRecord* record);
  void LinkBefore(tConfigRecord* anchor, tConfigRecord* record);
  void Unlink(tConfigRecord* record);
  tConfigRecord* FindKey(const char* fullName);
  void CopyFrom(const Config& other);

  int64_t modificationTime_;
  tConfigRecord* head_;
  tConfigRecord* tail_;
  tConfigRecord* cursor_;
  int loaded_;
  char fileName_[kFileNameSize];
  char currentSection_[kNameMax + 1];
  tConfigRecord* nextKey_;
  tConfigRecord* nextSection_;
  Index* index_;
};

#endif  // LIBORN2_CONFIG_H
