// Config: one configuration file of sections and key/value lines, held in
// memory as a doubly linked list of records in file order. It loads the file
// (restoring an empty file from its ".Save" backup), reloads it when the file's
// modification time moves forward, answers lookups, enumerates sections and
// keys, edits the list and saves it back through a ".New" file and a ".Save"
// backup. Diagnostics go to standard error.
//
// Used by one thread at a time: even lookups move the cursor and may reload.
#ifndef LIBORN2_CONFIG_H
#define LIBORN2_CONFIG_H

#include <liborn2/export.h>

#include <cstdint>
#include <vector>

class OrnEndPoint;

class ORN2_API Config {
 public:
  // One line of the file that the store keeps: a key record (kind kKeyRecord)
  // or a kept comment or blank line (kind kLineRecord). Zero-filled when made,
  // so both texts are always terminated inside the record.
  struct tConfigRecord {
    char name[129];   // full name "section/key", or the key alone; empty for a line
    char value[513];  // the value, or the text of a kept line
    int kind;
    tConfigRecord* previous;
    tConfigRecord* next;
  };
  static constexpr int kKeyRecord = 0x100;
  static constexpr int kLineRecord = 0x110;

  Config(const char* fileName = nullptr);
  // Deep copies: two stores never share records.
  Config(const Config& other);
  Config& operator=(const Config& other);
  ~Config();

  // Loading (records are appended to what the store holds).
  int LoadConfig(const char* fileName);
  int IsConfigLoadedOk();
  int ResetState();
  int ReleaseConfig();

  // Lookups. GetString reloads the file first when it changed on disk.
  int GetString(const char* key, char* buffer, int length, const char* section);
  int GetInteger(const char* key, const char* section);
  long GetLong(const char* key, const char* section);

  // Enumeration of sections and of the keys of one section.
  char* GetFirstSection();
  char* GetNextSection();
  int SectionExists(const char* section);
  int GetFirstKey(const char* section, char* buffer, int length);
  int GetNextKey(const char* section, char* buffer, int length);

  // Editing and saving.
  int SetString(const char* key, const char* value, int reserved, const char* section,
                int position);
  int SetStringAtTail(const char* key, const char* value, int reserved, const char* section);
  int SetStringAtHead(const char* key, const char* value, int reserved, const char* section);
  int RemoveRecords(const char* section, const char* prefix, const char* keepPrefix);
  int SaveConfig(const char* fileName);
  int DumpConfig();

  // The server endpoints of the section "soap"; 0 when at least the first one
  // was read, -1 (and an empty vector) when it was not.
  int RetrieveEndPoints(std::vector<OrnEndPoint>& endPoints);

 private:
  struct Index;  // case-folded full name -> first key record of that name
  friend struct ConfigProbe;

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
  char fileName_[256];
  char currentSection_[128];
  tConfigRecord* nextKey_;
  tConfigRecord* nextSection_;
  Index* index_;
};

#endif  // LIBORN2_CONFIG_H
