#include "platform/shellLinkFile.h"

#include <cstring>

#include "platform/fileSystem.h"

namespace platform {
namespace {

// Header fields and flags of the format.
constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr std::uint8_t kLinkClassId[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr std::uint32_t kHasLinkInfo = 0x02;
constexpr std::uint32_t kHasName = 0x04;
constexpr std::uint32_t kHasWorkingDir = 0x10;
constexpr std::uint32_t kHasArguments = 0x20;
constexpr std::uint32_t kIsUnicode = 0x80;
constexpr std::uint32_t kShowNormal = 1;

// Link information: a volume and a local base path, with the path's UTF-16 form when it is not ASCII.
constexpr std::uint32_t kVolumeIdAndLocalBasePath = 0x01;
constexpr std::uint32_t kLinkInfoHeaderSize = 0x1C;
constexpr std::uint32_t kLinkInfoHeaderSizeUnicode = 0x24;
constexpr std::uint32_t kDriveFixed = 3;
constexpr std::uint32_t kVolumeIdSize = 0x11;  // four fields and an empty label

constexpr std::size_t kMaxCount = 0xFFFF;

class Writer {
 public:
  explicit Writer(std::vector<std::uint8_t>* out) : out_(out) {}
  void U16(std::uint32_t value) { Bytes(value, 2); }
  void U32(std::uint32_t value) { Bytes(value, 4); }
  void Zeros(std::size_t count) { out_->insert(out_->end(), count, 0); }
  void Raw(const void* data, std::size_t size) {
    const auto* p = static_cast<const std::uint8_t*>(data);
    out_->insert(out_->end(), p, p + size);
  }
  void Utf16(const std::u16string& text) {
    for (char16_t unit : text) U16(unit);
  }

 private:
  void Bytes(std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i) out_->push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  std::vector<std::uint8_t>* out_;
};

bool IsAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

std::string AsciiForm(const std::u16string& text) {
  std::string ascii;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x80) {
      ascii += static_cast<char>(unit);
    } else {
      ascii += '?';
      // A surrogate pair is one character.
      if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size()) ++i;
    }
  }
  return ascii;
}

void WriteLinkInfo(Writer& out, const char* target) {
  const std::u16string wide = Utf16FromUtf8(target);
  const std::string narrow = AsciiForm(wide);
  const bool unicode = !IsAscii(target);
  const std::uint32_t headerSize = unicode ? kLinkInfoHeaderSizeUnicode : kLinkInfoHeaderSize;
  const std::uint32_t volumeOffset = headerSize;
  const std::uint32_t pathOffset = volumeOffset + kVolumeIdSize;
  const std::uint32_t suffixOffset = pathOffset + static_cast<std::uint32_t>(narrow.size()) + 1;
  const std::uint32_t pathOffsetUnicode = suffixOffset + 1;
  const std::uint32_t suffixOffsetUnicode = pathOffsetUnicode + 2 * static_cast<std::uint32_t>(wide.size() + 1);
  const std::uint32_t size = unicode ? suffixOffsetUnicode + 2 : suffixOffset + 1;

  out.U32(size);
  out.U32(headerSize);
  out.U32(kVolumeIdAndLocalBasePath);
  out.U32(volumeOffset);
  out.U32(pathOffset);
  out.U32(0);  // no network location
  out.U32(suffixOffset);
  if (unicode) {
    out.U32(pathOffsetUnicode);
    out.U32(suffixOffsetUnicode);
  }
  // Volume: a fixed drive without serial number or label.
  out.U32(kVolumeIdSize);
  out.U32(kDriveFixed);
  out.U32(0);
  out.U32(0x10);  // the label follows the four fields
  out.Zeros(1);
  out.Raw(narrow.data(), narrow.size());
  out.Zeros(1);
  out.Zeros(1);  // empty common path suffix
  if (unicode) {
    out.Utf16(wide);
    out.Zeros(2);
    out.Zeros(2);
  }
}

}  // namespace

std::string WorkingFolderOf(const char* workingDirectory) {
  const std::string value = workingDirectory ? workingDirectory : "";
  const std::size_t cut = value.find_last_of("\\/");
  if (cut == std::string::npos || cut == 0) return value;
  return value.substr(0, cut);
}

std::u16string Utf16FromUtf8(const char* text) {
  std::u16string wide;
  const auto* p = reinterpret_cast<const unsigned char*>(text ? text : "");
  const std::size_t size = std::strlen(reinterpret_cast<const char*>(p));
  std::size_t i = 0;
  while (i < size) {
    const unsigned char lead = p[i];
    std::uint32_t code = 0xFFFD;
    std::size_t length = 1;
    std::size_t extra = 0;
    std::uint32_t minimum = 0;
    if (lead < 0x80) {
      code = lead;
    } else if (lead >= 0xC2 && lead < 0xE0) {
      extra = 1, minimum = 0x80, code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead < 0xF0) {
      extra = 2, minimum = 0x800, code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead < 0xF5) {
      extra = 3, minimum = 0x10000, code = lead & 0x07;
    }
    if (extra) {
      std::size_t got = 0;
      while (got < extra && got < size - i - 1 && (p[i + 1 + got] & 0xC0) == 0x80) {
        code = code << 6 | (p[i + 1 + got] & 0x3F);
        ++got;
      }
      const bool valid = got == extra && code >= minimum && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
      // A malformed sequence is replaced as a whole, up to the first byte that cannot continue it.
      length = 1 + got;
      if (!valid) code = 0xFFFD;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      wide += static_cast<char16_t>(0xD800 + (code >> 10));
      wide += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
      wide += static_cast<char16_t>(code);
    }
    i += length;
  }
  return wide;
}

bool BuildShellLinkFile(const char* target, const char* description, const char* workingFolder,
                        const char* arguments, std::vector<std::uint8_t>* bytes) {
  const std::string path = target ? target : "";
  const std::u16string strings[3] = {Utf16FromUtf8(description), Utf16FromUtf8(workingFolder),
                                     Utf16FromUtf8(arguments)};
  const std::uint32_t stringFlags[3] = {kHasName, kHasWorkingDir, kHasArguments};
  if (Utf16FromUtf8(target).size() > kMaxCount) return false;
  std::uint32_t flags = kIsUnicode | (path.empty() ? 0 : kHasLinkInfo);
  for (int i = 0; i < 3; ++i) {
    if (strings[i].size() > kMaxCount) return false;
    if (!strings[i].empty()) flags |= stringFlags[i];
  }

  std::vector<std::uint8_t> file;
  Writer out(&file);
  out.U32(kHeaderSize);
  out.Raw(kLinkClassId, sizeof kLinkClassId);
  out.U32(flags);
  out.U32(0);       // target attributes: unknown
  out.Zeros(3 * 8);  // creation, access and write times: unknown
  out.U32(0);       // target size
  out.U32(0);       // icon index
  out.U32(kShowNormal);
  out.U16(0);       // no hot key
  out.Zeros(2 + 4 + 4);
  if (flags & kHasLinkInfo) WriteLinkInfo(out, path.c_str());
  // String data, in the format's order: description, working folder, arguments.
  for (const std::u16string& text : strings) {
    if (text.empty()) continue;
    out.U16(static_cast<std::uint32_t>(text.size()));
    out.Utf16(text);
  }
  out.U32(0);  // terminal block
  bytes->swap(file);
  return true;
}

bool WriteShellLinkFile(const char* linkPath, const char* target, const char* description,
                        const char* workingFolder, const char* arguments) {
  std::vector<std::uint8_t> bytes;
  if (!linkPath || !*linkPath || !BuildShellLinkFile(target, description, workingFolder, arguments, &bytes)) {
    return false;
  }
  FileSystem* files = CurrentFileSystem();
  const std::string temporary = std::string(linkPath) + ".tmp";
  FileHandle out = files->OpenWrite(temporary.c_str());
  if (!IsValidFile(out)) return false;
  std::uint32_t written = 0;
  const bool complete = files->Write(out, bytes.data(), static_cast<std::uint32_t>(bytes.size()), &written) &&
                        written == bytes.size();
  const bool closed = files->Close(out);
  if (!complete || !closed || !files->RenameReplacing(temporary.c_str(), linkPath)) {
    files->Delete(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace platform
