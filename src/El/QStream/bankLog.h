#pragma once
// The usage log of a data bank: which entries a run opened, one name per line in
// "FilesUsed\<prefix>.log", each name written once across runs (names already in the file are read
// back when the log opens).

#include <set>
#include <string>

#include "Es/Containers/refCount.h"
#include "El/QStream/qstream.h"

class IBankLog : public RefCount {
 public:
  // Opens the log of the bank with `prefix` (its trailing '\\' is dropped); false when it cannot.
  virtual bool Open(const char* prefix) = 0;
  // Records a name opened from the bank.
  virtual void Add(const char* name) = 0;
  virtual void Flush() = 0;
};

class QFBankLog : public IBankLog {
 public:
  bool Open(const char* prefix) override;
  void Add(const char* name) override;
  void Flush() override;

  // The log file of a prefix: "FilesUsed\<prefix without its last '\\'>.log".
  static std::string LogName(const char* prefix);

 private:
  // A file stream whose buffer can be written out on demand.
  class LogFile : public QOFStream {
   public:
    void WriteOut() { Flush(0); }
  };

  LogFile file_;
  std::set<std::string> names_;
};
