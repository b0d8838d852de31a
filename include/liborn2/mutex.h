// Locks for the library and its services: Mutex (a system mutex, anonymous or
// named and then shared by every process of the user), Guard (holds a Mutex for
// a scope) and WinGuard (a lock for the threads of one process).
#ifndef LIBORN2_MUTEX_H
#define LIBORN2_MUTEX_H

#include <liborn2/export.h>

/// A recursive system mutex. Anonymous, it excludes the threads of one process;
/// named, every Mutex of that name in every process of the same user is one
/// lock, which other users can neither take, block nor remove. A lock whose
/// owning thread ends while holding it is abandoned and taken over by the next
/// waiter.
///
/// Thread contract: all operations may be called from any thread; only Acquire
/// blocks. Nothing is returned or thrown on failure: a mutex the system refused
/// to create (handle null) serialises nothing, Acquire and Release then
/// returning at once. A refused named mutex says so with one line on standard
/// error, `"Mutex() Error: named mutex [name] refused: reason"` (on Linux: no
/// room for it, or another user holds the place of the user's private
/// directory; on Windows: a name with a backslash).
class ORN2_API Mutex {
 public:
  /// Selects the constructor for objects of static storage duration.
  enum StaticCtor {
    StaticInit  ///< The only value: Mutex(StaticInit).
  };

  /// Longest name kept; longer names are cut, so names that agree in their
  /// first kMaxName characters are one lock.
  static constexpr int kMaxName = 127;

  /// An anonymous mutex, created at once.
  Mutex();
  /// A mutex named `name` (null or empty: anonymous), created at once; the
  /// existing mutex of that name if there is one. Any bytes may form a name on
  /// Linux; Windows refuses a backslash. A Log names its mutex after its file
  /// (see Log::EnableLog), so a Mutex named the same way holds off its writers.
  explicit Mutex(char* name);
  /// The same for constant text, so that a literal or a std::string's c_str()
  /// can be passed without a cast.
  explicit Mutex(const char* name);
  /// For objects of static storage duration: does nothing, so that the zeroed
  /// memory stands (not created); the first Acquire creates an anonymous mutex.
  explicit Mutex(StaticCtor);
  /// A second owner of the same lock: the handle is duplicated, so each object
  /// closes its own handle exactly once.
  Mutex(const Mutex& other);
  /// Closes the handle if created; a lock still held is not released.
  ~Mutex();

  /// Waits without limit until the calling thread holds the lock (recursively:
  /// as often as it acquires, it must release). Creates the mutex first if the
  /// object is not created yet. An abandoned lock is taken as acquired.
  void Acquire();
  /// Releases one level of the lock; no effect unless the caller holds it.
  void Release();
  /// A probe that never leaves the lock held: -1 when another thread holds the
  /// lock, else 0 (also when the caller holds it: it still does afterwards, and
  /// for an abandoned or never created mutex). Never creates the mutex.
  int TryLock();

  /// The address of the handle field (null before creation or when refused).
  /// What the field holds is each platform's own: on Windows the mutex's
  /// system HANDLE, which a caller may wait on; on Linux the library's own
  /// record of the mutex, which no system call accepts.
  operator void**();
  /// The same address, read-only.
  operator void* const*() const;

  /// Afterwards both objects use the same lock: the target closes its previous
  /// handle and takes a duplicate of the other's, so every handle has exactly
  /// one owner and is closed once.
  Mutex& operator=(const Mutex& other);

 private:
  void init();
  void CopyName(const char* name);

  void* handle_;
  int initialised_;
  char name_[kMaxName + 1];

  // Kept because the published class declares it (and the library exports
  // it); being static it takes no room in the objects. Always 0: nothing
  // reads or changes it.
  static int instancecount;
};

/// Holds a Mutex from construction to destruction (also when the scope is left
/// by an exception). Neither copied nor assigned. Thread contract: used by the
/// thread that made it, which then holds the lock.
class ORN2_API Guard {
 public:
  /// Acquires `m`, waiting without limit; `m` must outlive the guard.
  explicit Guard(Mutex& m);
  /// Releases the mutex once.
  ~Guard();
  /// Not copied: one guard releases once what it acquired once.
  Guard(const Guard&) = delete;
  /// Not assigned, for the same reason.
  Guard& operator=(const Guard&) = delete;

 private:
  Mutex& mutex_;
};

/// A recursive lock for the threads of one process (a critical section). The
/// section lives inside the object, so the object's address is the section's.
/// Thread contract: Lock and Unlock may be called from any thread of the
/// process; construction, destruction and assignment while no thread uses it.
class ORN2_API WinGuard {
 public:
  /// Room for the system's critical section on every supported platform; the
  /// platform layer checks at compile time that its section fits.
  static constexpr unsigned kSectionBytes = 64;

  /// Initialises the section, unlocked.
  WinGuard();
  /// Deletes the section; it must not be held.
  ~WinGuard();
  /// A live critical section cannot be copied: a copy gets a section of its
  /// own, and assignment leaves the target's section alone and copies nothing.
  WinGuard(const WinGuard&);
  /// Copies nothing (see the copy constructor); returns the target.
  WinGuard& operator=(const WinGuard&);

  /// Waits without limit until the calling thread holds the section
  /// (recursively: as often as it locks, it must unlock).
  void Lock();
  /// Leaves the section once; only the thread that holds it may call this.
  void Unlock();

 private:
  alignas(8) unsigned char section_[kSectionBytes];
};

#endif  // LIBORN2_MUTEX_H
