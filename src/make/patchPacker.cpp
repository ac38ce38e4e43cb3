#include "make/patchPacker.h"

#include <algorithm>
#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

#include "El/Common/appFrame.h"
#include "El/ParamFile/paramFile.h"
#include "El/ParamFile/paramText.h"
#include "El/QStream/qstream.h"
#include "app/manifest.h"
#include "make/checksumWriter.h"
#include "make/payloadNames.h"
#include "make/stepDiff.h"
#include "make/treeWalk.h"
#include "patch/payloadTable.h"
#include "patch/trustedKey.h"
#include "platform/digest.h"
#include "pe/resourceWriter.h"
#include "platform/resourceFiles.h"
#include "platform/signing.h"

namespace make {
namespace {

// Collects the libraries' errors and warnings as lines while it lives, instead of printing them.
class CollectedReports : public AppFrameFunctions {
 public:
  explicit CollectedReports(std::vector<std::string>* lines) : lines_(lines), previous_(CurrentAppFrameFunctions) {
    CurrentAppFrameFunctions = this;
  }
  ~CollectedReports() override { CurrentAppFrameFunctions = previous_; }
  CollectedReports(const CollectedReports&) = delete;
  CollectedReports& operator=(const CollectedReports&) = delete;

  void LogV(const char* format, va_list args) override { previous_->LogV(format, args); }
  void WarningV(const char* format, va_list args) override { Add("warning: ", format, args); }
  void ErrorPositionV(const char* format, va_list args) override { previous_->ErrorPositionV(format, args); }
  void ErrorV(const char* format, va_list args) override { Add("", format, args); }
  void ErrorLevelV(int, const char* format, va_list args) override { Add("", format, args); }
  void ReadErrorV(const char* format, va_list args) override { Add("", format, args); }

 private:
  void Add(const char* kind, const char* format, va_list args) {
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line = std::string(kind) + text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    lines_->push_back(line);
  }
  std::vector<std::string>* lines_;
  AppFrameFunctions* previous_;
};

bool Exists(const std::string& path) { return !path.empty() && FileExists(path.c_str()); }

// Passes the image on to the file and counts the key slot markers in it on the way: an entry that
// carries a marker of its own (a program built with the slot, packed as a payload file) would leave
// the patch program unable to tell which slot is its own.
class MarkerCountingSink : public pe::ByteSink {
 public:
  explicit MarkerCountingSink(pe::ByteSink* target) : target_(target), marker_(TrustedKeyMarker()) {}
  bool Write(const void* data, std::size_t size, std::string* error) override {
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    // The tail of the previous piece and this piece, so that a marker across two pieces is found.
    window_.insert(window_.end(), bytes, bytes + size);
    const std::size_t keep = marker_.size() - 1;
    for (auto at = window_.begin();;) {
      at = std::search(at, window_.end(), marker_.begin(), marker_.end());
      if (at == window_.end()) break;
      ++markers_;
      ++at;
    }
    if (window_.size() > keep) window_.erase(window_.begin(), window_.end() - static_cast<std::ptrdiff_t>(keep));
    return target_->Write(data, size, error);
  }
  bool Rewrite(std::uint64_t offset, const void* data, std::size_t size, std::string* error) override {
    return target_->Rewrite(offset, data, size, error);
  }
  int Markers() const { return markers_; }

 private:
  pe::ByteSink* target_;
  std::array<std::uint8_t, 16> marker_;
  std::vector<std::uint8_t> window_;
  int markers_ = 0;
};

// A payload file as the writer streams it, proven to be the bytes its table line was made of: the
// digest is taken when it is opened and again while the writer reads it, piece by piece in order; a
// file that changed in between fails the write instead of shipping a table that does not match.
class DigestCheckingSource : public pe::ByteSource {
 public:
  bool Open(const std::string& path, patch::PayloadTableEntry* entry, std::string* error) {
    path_ = path;
    if (!platform::Sha256OfFile(path.c_str(), &expected_, &entry->size)) {
      *error = path + ": cannot be read";
      return false;
    }
    entry->digest = expected_;
    if (!file_.Open(path.c_str(), error)) return false;
    if (file_.Size() != entry->size) {
      *error = path + ": changed while it was packed";
      return false;
    }
    return true;
  }
  std::uint64_t Size() const override { return file_.Size(); }
  bool Read(std::uint64_t offset, void* buffer, std::size_t size, std::string* error) override {
    if (!file_.Read(offset, buffer, size, error)) return false;
    if (offset != next_) {
      *error = path_ + ": read out of order; its digest cannot be checked";
      return false;
    }
    hash_.Update(buffer, size);
    next_ += size;
    if (next_ < file_.Size()) return true;
    platform::Sha256Digest digest;
    if (!hash_.Final(&digest) || digest != expected_) {
      *error = path_ + ": changed while it was packed";
      return false;
    }
    return true;
  }

 private:
  std::string path_;
  platform::FileSource file_;
  platform::Sha256Digest expected_{};
  platform::Sha256 hash_;
  std::uint64_t next_ = 0;
};

}  // namespace

std::vector<std::string> ManifestProblems(const std::uint8_t* bytes, std::size_t size) {
  std::vector<std::string> problems;
  CollectedReports reports(&problems);
  ParamFile file;
  const int result = app::LoadManifestTree(bytes, size, file);
  if (result != 0) {
    problems.push_back("the binary manifest does not load (error " + std::to_string(result) + ")");
    return problems;
  }
  const app::Manifest manifest = app::ReadManifest(file);
  // A missing required key is reported once; reading it as a value then adds a line that says nothing new.
  for (std::size_t i = 1; i < problems.size();) {
    const bool followUp = problems[i].find("is not a value") != std::string::npos &&
                          problems[i - 1].find("No entry") != std::string::npos;
    if (followUp) {
      problems.erase(problems.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  std::string version;
  if (!manifest.version.empty() && !NormalizeVersion(manifest.version, &version)) {
    problems.push_back("version '" + manifest.version + "' is not major.minor with two minor digits");
  }
  for (const std::string* required : {&manifest.requiredForPatch, &manifest.requiredForAddons}) {
    if (!required->empty() && !NormalizeVersion(*required, &version)) {
      problems.push_back("required version '" + *required + "' is not major.minor with two minor digits");
    }
  }
  return problems;
}

bool ParseConfigFile(const std::string& path, ParamFile& file, std::vector<std::string>* problems) {
  if (!FileExists(path.c_str())) {
    problems->push_back(path + ": no such file");
    return false;
  }
  const std::size_t before = problems->size();
  CollectedReports reports(problems);
  if (ParseText(file, path.c_str()) != PTROk && problems->size() == before) {
    problems->push_back(path + ": the text cannot be parsed");
  }
  return problems->size() == before;
}

bool CompileManifest(const std::string& path, ManifestCompile* result) {
  *result = ManifestCompile();
  ParamFile file;
  if (!ParseConfigFile(path, file, &result->problems)) return false;
  QOStrStream binary;
  if (!file.SaveBin(binary)) {
    result->problems.push_back(path + ": the binary form cannot be written");
    return false;
  }
  const auto* data = reinterpret_cast<const std::uint8_t*>(binary.Data());
  result->bytes.assign(data, data + binary.GetTotalSize());
  for (const std::string& problem : ManifestProblems(result->bytes.data(), result->bytes.size())) {
    result->problems.push_back(path + ": " + problem);
  }
  return result->problems.empty();
}

bool ReadKeyFile(const std::string& keyFile, std::string* pem, platform::KeyBlob* blob, std::string* fingerprint,
                 std::string* error) {
  if (!ReadWholeFile(keyFile, pem, 1u << 20)) {
    *error = keyFile + ": cannot be read";
    return false;
  }
  platform::SigningResult result = platform::ReadSigningKey(*pem, blob);
  if (result == platform::SigningResult::Ok) result = platform::KeyFingerprint(*blob, fingerprint);
  if (result != platform::SigningResult::Ok) {
    *error = keyFile + ": " + platform::SigningResultText(result);
    return false;
  }
  return true;
}

bool PackPatch(const PackOptions& options, PackReport* report) {
  *report = PackReport();
  std::vector<std::string>& problems = report->problems;

  // The payload folder's files, each under its entry name.
  std::vector<std::pair<std::string, TreeFile>> files;  // entry name, file
  {
    std::vector<TreeFile> found;
    WalkTree(options.payload, &found, &problems);
    for (const TreeFile& file : found) files.emplace_back(UpperName(file.relative), file);
    for (const auto& [prefix, folder] : options.groupFolders) {
      WalkTree(folder, &found, &problems);
      for (const TreeFile& file : found) files.emplace_back(UpperName(prefix + "\\" + file.relative), file);
    }
  }
  std::vector<platform::FileResource> resources;
  std::string payloadDeltaTool;
  std::set<std::string> names;
  for (const auto& [name, file] : files) {
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".PART") == 0) {
      problems.push_back(file.relative + ": a temporary file of an interrupted run; run the diff again");
      continue;
    }
    EntryNameInfo info;
    const std::string reason = ClassifyEntryName(name, &info);
    if (!reason.empty()) {
      problems.push_back(file.relative + ": " + reason);
      continue;
    }
    if (info.family == EntryFamily::Manifest || info.family == EntryFamily::Signature ||
        info.family == EntryFamily::PayloadTable) {
      problems.push_back(file.relative + ": the manifest, the payload table and their signatures are written by the "
                         "pack; remove it");
      continue;
    }
    if (info.family == EntryFamily::DeltaTool) {
      payloadDeltaTool = file.path;
      continue;
    }
    if (!names.insert(name).second) {
      problems.push_back(file.relative + ": entry " + name + " is given twice");
      continue;
    }
    platform::FileResource resource;
    resource.type = pe::ResourceId::Number(pe::kRcDataType);
    pe::ParseResourceName(name.c_str(), &resource.name);
    resource.path = file.path;
    resources.push_back(resource);
  }

  // The delta tool.
  report->deltaTool = options.deltaTool;
  if (report->deltaTool.empty()) report->deltaTool = payloadDeltaTool;
  for (const std::string& candidate : options.deltaToolCandidates) {
    if (report->deltaTool.empty() && Exists(candidate)) report->deltaTool = candidate;
  }
  if (report->deltaTool.empty()) {
    problems.push_back("no delta tool to carry as XDELTA3.EXE: name one with --delta-tool (the Windows build of zrvcdiff)");
  } else if (!Exists(report->deltaTool)) {
    problems.push_back(report->deltaTool + ": no such delta tool");
  }

  ManifestCompile manifest;
  CompileManifest(options.manifest, &manifest);
  problems.insert(problems.end(), manifest.problems.begin(), manifest.problems.end());

  std::string pem, error;
  platform::KeyBlob key;
  if (!ReadKeyFile(options.keyFile, &pem, &key, &report->fingerprint, &error)) {
    problems.push_back(error);
  } else if (options.payloadTable && platform::KeyBits(key) < platform::kPayloadTableKeyBits) {
    problems.push_back(options.keyFile + ": a key of " + std::to_string(platform::KeyBits(key)) +
                       " bits signs manifests only; a patch with a signed payload table needs 2048 bits or more "
                       "(zrmake keygen makes 3072), or pack without the table (--without-payload-table)");
  }

  std::string stub;
  if (!ReadWholeFile(options.stub, &stub, 256u << 20)) {
    problems.push_back(options.stub + ": the patch program cannot be read");
  }
  if (!problems.empty()) return false;

  auto* stubBytes = reinterpret_cast<std::uint8_t*>(&stub[0]);
  const KeySlotResult slot = ReplaceTrustedKey(stubBytes, stub.size(), key);
  if (slot != KeySlotResult::Done) {
    problems.push_back(options.stub + ": " + KeySlotResultText(slot));
    return false;
  }
  // A stub that already carries payload would mix its entries with these.
  pe::Image image;
  pe::ResourceDirectory directory;
  const pe::ByteView view{stubBytes, stub.size()};
  if (!image.Parse(view, &error) || !directory.Parse(image, &error)) {
    problems.push_back(options.stub + ": " + error);
    return false;
  }
  for (const pe::ResourceEntry* entry : directory.Names(pe::ResourceId::Number(pe::kRcDataType))) {
    if (entry->name.isName) {
      problems.push_back(options.stub + ": already carries payload entries (" + pe::DescribeId(entry->name) +
                         "); pack from the patch program itself");
      return false;
    }
  }

  std::vector<std::uint8_t> signature;
  const platform::SigningResult signing =
      platform::SignBytes(pem, manifest.bytes.data(), static_cast<std::uint32_t>(manifest.bytes.size()),
                          platform::SignedDigest::Sha1, &signature);
  if (signing != platform::SigningResult::Ok) {
    problems.push_back(options.keyFile + ": " + platform::SigningResultText(signing));
    return false;
  }

  // Entry sources: files a piece at a time, checked against the digests the table was made of; the
  // manifest, its signature and the table from memory.
  std::vector<std::unique_ptr<pe::ByteSource>> sources;
  std::vector<pe::NewResource> written;
  patch::PayloadTable table;
  const auto add = [&](const std::string& name, std::unique_ptr<pe::ByteSource> source) {
    pe::NewResource resource;
    resource.type = pe::ResourceId::Number(pe::kRcDataType);
    pe::ParseResourceName(name.c_str(), &resource.name);
    resource.source = source.get();
    report->payloadBytes += source->Size();
    sources.push_back(std::move(source));
    written.push_back(resource);
  };
  const auto addFile = [&](const std::string& name, const std::string& path) {
    auto source = std::make_unique<DigestCheckingSource>();
    patch::PayloadTableEntry entry;
    if (!source->Open(path, &entry, &error)) {
      problems.push_back(error);
      return false;
    }
    table[name] = entry;
    add(name, std::move(source));
    return true;
  };
  const auto addBytes = [&](const std::string& name, const std::vector<std::uint8_t>& bytes) {
    patch::PayloadTableEntry entry;
    entry.size = bytes.size();
    if (!platform::Sha256Of(bytes.data(), bytes.size(), &entry.digest)) {
      problems.push_back(name + ": its digest cannot be computed");
      return false;
    }
    table[name] = entry;
    add(name, std::make_unique<pe::MemorySource>(pe::ByteView{bytes.data(), bytes.size()}));
    return true;
  };
  for (const platform::FileResource& resource : resources) {
    if (!addFile(pe::DescribeId(resource.name), resource.path)) return false;
  }
  if (!addFile("XDELTA3.EXE", report->deltaTool) || !addBytes("VERSION.CFG", manifest.bytes) ||
      !addBytes("VERSION.CFG.SIGN", signature)) {
    return false;
  }
  std::vector<std::uint8_t> tableBytes, tableSignature;
  if (options.payloadTable) {
    const std::string text = patch::PayloadTableText(table);
    tableBytes.assign(text.begin(), text.end());
    const platform::SigningResult tableSigning =
        platform::SignBytes(pem, tableBytes.data(), static_cast<std::uint32_t>(tableBytes.size()),
                            platform::SignedDigest::Sha256, &tableSignature);
    if (tableSigning != platform::SigningResult::Ok) {
      problems.push_back(options.keyFile + ": " + platform::SigningResultText(tableSigning));
      return false;
    }
    add(patch::kPayloadTableEntry, std::make_unique<pe::MemorySource>(pe::ByteView{tableBytes.data(), tableBytes.size()}));
    add(patch::kPayloadTableSignatureEntry,
        std::make_unique<pe::MemorySource>(pe::ByteView{tableSignature.data(), tableSignature.size()}));
    report->payloadTable = true;
  }

  platform::ReplacingFileSink sink;
  MarkerCountingSink counting(&sink);
  pe::WriteReport writeReport;
  if (!sink.Open(options.output.c_str(), &error) ||
      !pe::WriteResources(view, written, &counting, &writeReport, &error)) {
    problems.push_back(options.output + ": " + error);
    return false;
  }
  if (counting.Markers() != 1) {
    problems.push_back(options.output + ": an entry carries a key slot marker of its own (a program built with the "
                       "slot, such as the patch program, cannot be packed as payload or delta tool)");
    return false;  // the sink deletes its temporary file
  }
  if (!sink.Commit(&error)) {
    problems.push_back(options.output + ": " + error);
    return false;
  }
  report->entries = static_cast<int>(written.size());
  report->fileSize = writeReport.fileSize;
  report->signatureRemoved = writeReport.signatureRemoved;
  return true;
}

}  // namespace make
