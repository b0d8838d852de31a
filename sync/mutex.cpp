#include <liborn2/mutex.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "port/sync.h"
#include "sync/port_handles.h"

static_assert(Mutex::kMaxName == orn2::port::kMaxMutexName,
              "the published name limit is the one the platform layer keeps");
static_assert(WinGuard::kSectionBytes >= orn2::port::kCriticalSectionBytes,
              "WinGuard's storage holds the platform's critical section");

int Mutex::instancecount = 0;

using orn2::sync::AsCriticalSection;
using orn2::sync::AsMutexHandle;

namespace {

// The handle field is also written by a racing first Acquire of a statically
// constructed object, so it and the flag are read and written atomically.
orn2::port::MutexHandle* LoadHandle(void* const* field) {
  return AsMutexHandle(__atomic_load_n(field, __ATOMIC_ACQUIRE));
}
int LoadFlag(const int* field) { return __atomic_load_n(field, __ATOMIC_ACQUIRE); }
void StoreFlag(int* field, int value) { __atomic_store_n(field, value, __ATOMIC_RELEASE); }

// The one line that says a named mutex was refused. Control characters of the
// name are shown as \xNN, so that the message stays on its line.
void ReportRefused(const char* name, const std::string& why) {
  std::string shown;
  for (const char* p = name; *p != '\0'; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      shown += escaped;
    } else {
      shown += static_cast<char>(c);
    }
  }
  std::fprintf(stderr, "Mutex() Error: named mutex [%s] refused: %s\n", shown.c_str(), why.c_str());
}

}  // namespace

Mutex::Mutex() : handle_(nullptr), initialised_(0) {
  std::memset(name_, 0, sizeof name_);
  init();
}

Mutex::Mutex(char* name) : Mutex(static_cast<const char*>(name)) {}

Mutex::Mutex(const char* name) : handle_(nullptr), initialised_(0) {
  CopyName(name);
  init();
}

// Deliberately empty: a static object's memory is zero before any constructor
// runs, which is the "not created" state.
Mutex::Mutex(StaticCtor) {}

Mutex::Mutex(const Mutex& other) : handle_(nullptr), initialised_(0) {
  std::memcpy(name_, other.name_, sizeof name_);
  handle_ = orn2::port::DuplicateMutex(LoadHandle(&other.handle_));
  initialised_ = LoadFlag(&other.initialised_);
}

Mutex::~Mutex() {
  if (LoadFlag(&initialised_) == 0) return;
  StoreFlag(&initialised_, 0);
  orn2::port::CloseMutex(AsMutexHandle(handle_));
}

void Mutex::CopyName(const char* name) {
  std::memset(name_, 0, sizeof name_);
  if (name == nullptr) return;
  size_t length = std::strlen(name);
  if (length > static_cast<size_t>(kMaxName)) length = kMaxName;
  std::memcpy(name_, name, length);
}

// Two threads racing to the first Acquire of a statically constructed object
// may both create a mutex; only the first one stored is kept, so the object
// ends up with exactly one. A refused named mutex serialises nothing, and says
// so on standard error.
void Mutex::init() {
  std::string why;
  void* created = orn2::port::NewMutex(name_[0] != '\0' ? name_ : nullptr, &why);
  if (created == nullptr && name_[0] != '\0') ReportRefused(name_, why);
  void* expected = nullptr;
  if (!__atomic_compare_exchange_n(&handle_, &expected, created, false, __ATOMIC_ACQ_REL,
                                   __ATOMIC_ACQUIRE)) {
    orn2::port::CloseMutex(AsMutexHandle(created));
  }
  StoreFlag(&initialised_, 1);
}

void Mutex::Acquire() {
  if (LoadFlag(&initialised_) == 0) init();
  orn2::port::LockMutex(LoadHandle(&handle_));
}

void Mutex::Release() { orn2::port::UnlockMutex(LoadHandle(&handle_)); }

int Mutex::TryLock() {
  if (orn2::port::TryLockMutex(LoadHandle(&handle_)) == orn2::port::LockResult::kBusy) return -1;
  // Acquired, abandoned (now ours) or failed: release and report free.
  Release();
  return 0;
}

Mutex::operator void**() { return &handle_; }

Mutex::operator void* const*() const { return &handle_; }

Mutex& Mutex::operator=(const Mutex& other) {
  if (this == &other) return *this;
  void* duplicate = orn2::port::DuplicateMutex(LoadHandle(&other.handle_));
  if (LoadFlag(&initialised_) != 0) orn2::port::CloseMutex(AsMutexHandle(handle_));
  handle_ = duplicate;
  std::memcpy(name_, other.name_, sizeof name_);
  StoreFlag(&initialised_, LoadFlag(&other.initialised_));
  return *this;
}

Guard::Guard(Mutex& m) : mutex_(m) { mutex_.Acquire(); }

Guard::~Guard() { mutex_.Release(); }

WinGuard::WinGuard() { orn2::port::InitSection(AsCriticalSection(section_)); }

WinGuard::~WinGuard() { orn2::port::DestroySection(AsCriticalSection(section_)); }

WinGuard::WinGuard(const WinGuard&) { orn2::port::InitSection(AsCriticalSection(section_)); }

WinGuard& WinGuard::operator=(const WinGuard&) { return *this; }

void WinGuard::Lock() { orn2::port::EnterSection(AsCriticalSection(section_)); }

void WinGuard::Unlock() { orn2::port::LeaveSection(AsCriticalSection(section_)); }
