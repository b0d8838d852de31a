// Construction, copying and release of Config, and the list's link steps.
#include <liborn2/config.h>

#include <cstring>

#include "config/config_index.h"
#include "config/config_text.h"

Config::Config(const char* fileName)
    : modificationTime_(0),
      head_(nullptr),
      tail_(nullptr),
      cursor_(nullptr),
      loaded_(0),
      nextKey_(nullptr),
      nextSection_(nullptr),
      index_(new Index) {
  std::memset(fileName_, 0, sizeof fileName_);
  std::memset(currentSection_, 0, sizeof currentSection_);
  ResetState();
  if (fileName != nullptr) LoadConfig(fileName);
}

Config::Config(const Config& other) : Config(nullptr) { CopyFrom(other); }

Config& Config::operator=(const Config& other) {
  if (this != &other) {
    ResetState();
    CopyFrom(other);
  }
  return *this;
}

Config::~Config() {
  ResetState();
  delete index_;
}

// Appends copies of the other store's records and takes its fields; the
// enumeration positions point at the copies of the records they pointed at.
void Config::CopyFrom(const Config& other) {
  for (const tConfigRecord* walk = other.head_; walk != nullptr; walk = walk->next) {
    auto* record = new tConfigRecord();
    std::memcpy(record->name, walk->name, sizeof record->name);
    std::memcpy(record->value, walk->value, sizeof record->value);
    record->kind = walk->kind;
    AppendNode(record);
    if (walk == other.nextKey_) nextKey_ = record;
    if (walk == other.nextSection_) nextSection_ = record;
  }
  modificationTime_ = other.modificationTime_;
  index_->loadedFile = other.index_->loadedFile;
  loaded_ = other.loaded_;
  std::memcpy(fileName_, other.fileName_, sizeof fileName_);
  std::memcpy(currentSection_, other.currentSection_, sizeof currentSection_);
}

int Config::IsConfigLoadedOk() { return loaded_; }

int Config::ResetState() {
  modificationTime_ = 0;
  index_->loadedFile = Index::LoadedFile();
  if (head_ != nullptr) FreeList();
  loaded_ = 0;
  std::memset(fileName_, 0, sizeof fileName_);
  std::memset(currentSection_, 0, sizeof currentSection_);
  return 0;
}

int Config::ReleaseConfig() {
  ResetState();
  return 0;
}

int Config::FreeList() {
  index_->Clear();
  tConfigRecord* walk = tail_;
  while (walk != nullptr) {
    tConfigRecord* previous = walk->previous;
    delete walk;
    walk = previous;
  }
  head_ = tail_ = cursor_ = nextKey_ = nextSection_ = nullptr;
  return 0;
}

void Config::AppendNode(tConfigRecord* record) {
  record->next = nullptr;
  record->previous = tail_;
  if (tail_ == nullptr) {
    head_ = record;
  } else {
    tail_->next = record;
  }
  tail_ = record;
  if (record->kind == kKeyRecord) index_->Add(record);
}

void Config::LinkAfter(tConfigRecord* anchor, tConfigRecord* record) {
  record->previous = anchor;
  record->next = anchor->next;
  if (anchor->next != nullptr) {
    anchor->next->previous = record;
  } else {
    tail_ = record;
  }
  anchor->next = record;
  if (record->kind == kKeyRecord) index_->Add(record);
}

void Config::LinkBefore(tConfigRecord* anchor, tConfigRecord* record) {
  record->next = anchor;
  record->previous = anchor->previous;
  if (anchor->previous != nullptr) {
    anchor->previous->next = record;
  } else {
    head_ = record;
  }
  anchor->previous = record;
  if (record->kind == kKeyRecord) index_->Add(record);
}

void Config::Unlink(tConfigRecord* record) {
  if (record->kind == kKeyRecord) index_->Remove(record);
  if (record->previous != nullptr) {
    record->previous->next = record->next;
  } else {
    head_ = record->next;
  }
  if (record->next != nullptr) {
    record->next->previous = record->previous;
  } else {
    tail_ = record->previous;
  }
  record->previous = record->next = nullptr;
}

Config::tConfigRecord* Config::FindKey(const char* fullName) { return index_->Find(fullName); }
