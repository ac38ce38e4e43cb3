// A small program for the tests that need a whole process: it signs and verifies files with the
// platform's signature functions, reports the key in its own trusted-key slot, rewrites the slot of
// another executable, and creates shell links. Built for both targets; the scripts beside it run it
// natively and under Wine.
//
//   platformProbe genkey PRIVATE.pem PUBLIC.blob      new signing key pair (Linux build)
//   platformProbe sign PRIVATE.pem FILE SIGNATURE      sign FILE (Linux build)
//   platformProbe verify FILE SIGNATURE PUBLIC.blob    prints "<code> <error>" of VerifyManifest
//   platformProbe trusted                              prints this program's trusted key blob in hex
//   platformProbe replace-key EXECUTABLE PUBLIC.blob   writes the key into the executable's slot
//   platformProbe link LINK TARGET DESCRIPTION WORKDIR ARGUMENTS
//   platformProbe reg-set HKLM|HKCU PATH NAME VALUE    sets a string value (Linux: in $WINEPREFIX)
//   platformProbe reg-get HKLM|HKCU PATH NAME          prints a string value

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "patch/trustedKey.h"
#include "platform/commandLine.h"
#include "platform/registry.h"
#include "platform/shellLink.h"
#include "platform/signature.h"
#include "platform/signing.h"
#if defined(_WIN32)
#include "platform/win32/wideText.h"
#endif

namespace {

bool ReadFile(const char* name, std::vector<std::uint8_t>* bytes) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

bool WriteFile(const char* name, const void* data, std::size_t size) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  return static_cast<bool>(out);
}

bool ReadBlob(const char* name, platform::KeyBlob* blob) {
  return ReadFile(name, blob) && platform::ParseKeyBlob(blob->data(), blob->size(), nullptr);
}

int Fail(const char* what) {
  std::fprintf(stderr, "platformProbe: %s\n", what);
  return 1;
}

int Signing(platform::SigningResult result) {
  return result == platform::SigningResult::Ok ? 0 : Fail(platform::SigningResultText(result));
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  // The runtime's argv is in the ANSI code page; the program's texts are UTF-8, read from the wide
  // command line as the patch program reads its own.
  std::vector<std::string> words = platform::SplitCommandLine(platform::Utf8Text(GetCommandLineW()).c_str());
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(&word[0]);
  pointers.push_back(nullptr);
  argc = static_cast<int>(words.size());
  argv = pointers.data();
#endif
  const std::string command = argc > 1 ? argv[1] : "";
  if ((command == "reg-set" && argc == 6) || (command == "reg-get" && argc == 5)) {
    const platform::RegistryHive hive =
        std::strcmp(argv[2], "HKCU") == 0 ? platform::RegistryHive::CurrentUser : platform::RegistryHive::LocalMachine;
    std::string value, error;
    if (command == "reg-get") {
      if (!platform::CurrentRegistry()->ReadString(hive, argv[3], argv[4], &value)) return Fail("no such value");
      std::printf("%s\n", value.c_str());
      return 0;
    }
    return platform::CurrentRegistry()->WriteString(hive, argv[3], argv[4], argv[5], &error) ? 0 : Fail(error.c_str());
  }
  if (command == "genkey" && argc == 4) {
    std::string pem;
    platform::KeyBlob blob;
    const platform::SigningResult result = platform::GenerateSigningKey(platform::kDefaultKeyBits, &pem, &blob);
    if (result != platform::SigningResult::Ok) return Signing(result);
    return WriteFile(argv[2], pem.data(), pem.size()) && WriteFile(argv[3], blob.data(), blob.size())
               ? 0
               : Fail("cannot write the key files");
  }
  if (command == "sign" && argc == 5) {
    std::vector<std::uint8_t> pem, data;
    if (!ReadFile(argv[2], &pem) || !ReadFile(argv[3], &data)) return Fail("cannot read the input files");
    std::vector<std::uint8_t> signature;
    const platform::SigningResult result =
        platform::SignBytes(std::string(pem.begin(), pem.end()), data.data(), static_cast<std::uint32_t>(data.size()),
                            platform::SignedDigest::Sha1, &signature);
    if (result != platform::SigningResult::Ok) return Signing(result);
    return WriteFile(argv[4], signature.data(), signature.size()) ? 0 : Fail("cannot write the signature");
  }
  if (command == "verify" && argc == 5) {
    std::vector<std::uint8_t> data, signature, blob;
    if (!ReadFile(argv[2], &data) || !ReadFile(argv[3], &signature) || !ReadFile(argv[4], &blob)) {
      return Fail("cannot read the input files");
    }
    platform::ManifestSignature check;
    check.keyBlob = blob.data();
    check.keyBlobLength = static_cast<std::uint32_t>(blob.size());
    check.signature = signature.data();
    check.signatureLength = static_cast<std::uint32_t>(signature.size());
    const int code = platform::VerifyManifest(data.data(), static_cast<std::uint32_t>(data.size()), check);
    std::printf("%d %08x\n", code, static_cast<unsigned>(platform::LastSignatureError()));
    return 0;
  }
  if (command == "trusted" && argc == 2) {
    for (std::uint8_t byte : TrustedKeyBlob()) std::printf("%02x", byte);
    std::printf("\n");
    return 0;
  }
  if (command == "replace-key" && argc == 4) {
    std::vector<std::uint8_t> executable;
    platform::KeyBlob blob;
    if (!ReadFile(argv[2], &executable) || !ReadBlob(argv[3], &blob)) return Fail("cannot read the input files");
    const KeySlotResult result = ReplaceTrustedKey(executable.data(), executable.size(), blob);
    if (result != KeySlotResult::Done) return Fail(KeySlotResultText(result));
    return WriteFile(argv[2], executable.data(), executable.size()) ? 0 : Fail("cannot write the executable");
  }
  if (command == "link" && argc == 7) {
    platform::ComponentLibraryScope components;
    return platform::CreateShellLink(argv[2], argv[3], argv[4], argv[5], argv[6]) ? 0 : Fail("no link");
  }
  return Fail("usage: genkey | sign | verify | trusted | replace-key | link (see the source)");
}
