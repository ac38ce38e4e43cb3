// The process-wide list of banks that overlays the file system while banks are enabled, and the file
// queries and the automatic open's source that go through it.

#include <cstring>
#include <string>
#include <vector>

#include "El/Common/appFrame.h"
#include "El/QStream/bankEntryTable.h"
#include "El/QStream/fileServer.h"
#include "El/QStream/qbstream.h"
#include "El/QStream/qstream.h"
#include "Es/Containers/nameText.h"

namespace {

bool banksEnabled = false;
bool logFilesUsed = false;

std::vector<Ref<QFBank>>& Banks() {
  static std::vector<Ref<QFBank>> banks;
  return banks;
}

// What the automatic open of file streams asks while banks are enabled.
class BankStreamSource : public IStreamBankSource {
 public:
  QFBank* FindBank(const char* name, const char** nameInBank) override { return ::FindBank(name, nameInBank); }
  Ref<IFileBuffer> OpenEntry(QFBank* bank, const char* nameInBank, std::int64_t start, std::int64_t size) override {
    return bank->OpenEntry(nameInBank, start, size);
  }
};
BankStreamSource bankStreamSource;

QFBank* BankByPrefix(const char* prefix) {
  for (Ref<QFBank>& bank : Banks()) {
    if (std::strcmp(bank->GetPrefix(), prefix) == 0) return bank.GetRef();
  }
  return nullptr;
}

}  // namespace

void EnableBanks(bool enabled) {
  banksEnabled = enabled;
  GStreamBankSource = enabled ? &bankStreamSource : nullptr;
}
bool BanksEnabled() { return banksEnabled; }
void SetLogFilesUsed(bool enabled) { logFilesUsed = enabled; }
bool LogFilesUsed() { return logFilesUsed; }

QFBank* LoadBank(const char* folder, const char* prefixBase, const char* name, bool nameOnly, BankCheck access,
                 BankCheck accept, void* context) {
  std::string file = std::string(folder ? folder : "") + name + ".pbo";
  if (file.size() > static_cast<std::size_t>(kBankMaxPath) || !QFileExists(file.c_str())) {
    if (file.size() > static_cast<std::size_t>(kBankMaxPath)) file.resize(kBankMaxPath);
    ErrorMessage("Cannot open file '%s'", file.c_str());
    return nullptr;
  }
  Ref<QFBank> bank(new QFBank);
  bank->SetAccessCheck(access, context);
  bank->SetPlainFileOverrides(true);
  if (!bank->Open(file.c_str())) return nullptr;
  if (bank->GetPrefix().IsEmpty()) {
    const std::string prefix = nameOnly ? std::string(name) : std::string(prefixBase ? prefixBase : "") + name;
    bank->SetPrefix(prefix.c_str());
  }
  if (accept && !accept(*bank, context)) return nullptr;
  Banks().push_back(bank);
  return bank.GetRef();
}

QFBank* FindBank(const char* path, const char** nameInBank) {
  if (!path || !*path || path[1] == ':') return nullptr;
  QFBank* best = nullptr;
  std::size_t bestLength = 0;
  for (Ref<QFBank>& bank : Banks()) {
    const char* prefix = bank->GetPrefix();
    const std::size_t length = std::strlen(prefix);
    if (length <= bestLength && best) continue;
    std::size_t i = 0;
    while (i < length && path[i] && LowerAscii(path[i]) == LowerAscii(prefix[i])) ++i;
    if (i == length) {
      best = bank.GetRef();
      bestLength = length;
    }
  }
  if (best && nameInBank) *nameInBank = path + bestLength;
  return best;
}

bool RemoveBank(const char* prefixBase, const char* name) {
  const std::string prefix = std::string(prefixBase ? prefixBase : "") + name + "\\";
  std::vector<Ref<QFBank>>& banks = Banks();
  for (std::size_t i = 0; i < banks.size(); ++i) {
    if (prefix == banks[i]->GetPrefix().Data()) {
      banks.erase(banks.begin() + static_cast<std::ptrdiff_t>(i));
      return true;
    }
  }
  return false;
}

void RemoveAllBanks() { Banks().clear(); }
int BankCount() { return static_cast<int>(Banks().size()); }
QFBank* BankAt(int index) { return Banks()[index].GetRef(); }

bool LockBank(const char* prefix) {
  QFBank* bank = BankByPrefix(prefix);
  if (!bank) {
    LogF("Lock: Bank %s not found", prefix);
    return false;
  }
  bank->SetLocked(true);
  return bank->LoadHeader();
}

bool UnlockBank(const char* prefix) {
  QFBank* bank = BankByPrefix(prefix);
  if (!bank) {
    LogF("Unlock: Bank %s not found", prefix);
    return false;
  }
  bank->SetLocked(false);
  if (bank->IsHeaderLoaded() && bank->CanUnload()) bank->Unload();
  return true;
}

bool MakeBankLockable(const char* prefix, bool lockable) {
  QFBank* bank = BankByPrefix(prefix);
  if (!bank) {
    LogF("MakeLockable: Bank %s not found", prefix);
    return false;
  }
  bank->SetLockable(lockable);
  return true;
}

bool UnloadOneBank() {
  for (int pass = 0; pass < 2; ++pass) {
    for (Ref<QFBank>& bank : Banks()) {
      if (!bank->IsHeaderLoaded() || !bank->CanUnload() || (pass == 0 && bank->IsLocked())) continue;
      LogF(pass == 0 ? "Unloading bank %s" : "Unloading locked bank %s", bank->GetFileName().Data());
      return bank->Unload();
    }
  }
  return false;
}

RefString BankEntriesInRange(const char* prefix, std::int64_t start, std::int64_t end) {
  QFBank* bank = BankByPrefix(prefix);
  return bank ? bank->EntriesInRange(start, end) : RefString();
}

bool BankFileExists(const char* path, const QFBankFunctions* check) {
  const char* rest = nullptr;
  QFBank* bank = banksEnabled ? FindBank(path, &rest) : nullptr;
  if (!bank) return QFileExists(path);
  const bool held = bank->FileExists(rest);
  if (check && !check->CanRead(*bank)) {
    if (!held) LogF("FileExist %s: access denied", path);
    return false;
  }
  return held || QFileExists(path);
}

namespace {

// The entry a path names in an enabled bank, unless a disk file overrides it.
const BankEntry* BankEntryFor(const char* path) {
  const char* rest = nullptr;
  QFBank* bank = banksEnabled ? FindBank(path, &rest) : nullptr;
  const BankEntry* entry = bank ? bank->FindEntry(rest) : nullptr;
  return entry && !entry->plainFile ? entry : nullptr;
}

}  // namespace

std::int64_t BankFileSize(const char* path) {
  const BankEntry* entry = BankEntryFor(path);
  return entry ? entry->Size() : QFileSize(path);
}

std::int64_t BankFileTime(const char* path) {
  const BankEntry* entry = BankEntryFor(path);
  return entry ? entry->time : QFileTime(path);
}

bool CheckBankAccess(const QIFStream& stream, const QFBankFunctions* check) {
  QFBank* bank = stream.GetBank();
  if (!check || !bank || check->CanRead(*bank)) return true;
  WarningMessage("AutoOpen %s: access denied", bank->GetPrefix().Data());
  return false;
}
