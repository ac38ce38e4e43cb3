#include "app/signedManifest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "El/ParamFile/paramFile.h"
#include "app/manifest.h"
#include "platform/signature.h"
#include "support/memoryEntrySource.h"
#include "support/testData.h"
#include "ui/scriptedInterface.h"

namespace {

std::string Text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

platform::KeyBlob Key(const char* relative) { return ReadTestData(relative); }

// A store holding the development-signed binary manifest, as a patch made with the development key does.
struct SignedStore {
  MemoryEntrySource store;
  std::string manifest = Text(ReadTestData("signature/patch-manifest.bin"));
  std::string signature = Text(ReadTestData("signature/patch-manifest.bin.development.sign"));
  platform::KeyBlob key = Key("keys/development-public.blob");

  SignedStore() {
    store.Add("VERSION.CFG", manifest);
    store.Add("VERSION.CFG.SIGN", signature);
  }
};

// Loads the store's manifest and returns the one box shown, or "" when none was.
std::string LoadAndReport(MemoryEntrySource& store, const platform::KeyBlob& key, bool* loaded, ParamFile* file) {
  ui::ScriptedInterface screen;
  *loaded = app::LoadSignedManifest(store, key, *file, screen);
  const std::vector<std::string> boxes = screen.Texts(ui::ScriptedInterface::EventKind::Message);
  EXPECT_LE(boxes.size(), 1u);
  return boxes.empty() ? "" : boxes.front();
}

TEST(SignedManifest, VerifiedManifestLoadsWithTheBinaryLoader) {
  SignedStore patch;
  ASSERT_EQ(patch.manifest.size(), 132u);
  bool loaded = false;
  ParamFile file;
  EXPECT_EQ(LoadAndReport(patch.store, patch.key, &loaded, &file), "");
  ASSERT_TRUE(loaded);
  const app::Manifest manifest = app::ReadManifest(file);
  EXPECT_EQ(manifest.configApp, "Software\\Corvanth\\Game");
  EXPECT_EQ(manifest.version, "1.08");
  ASSERT_EQ(manifest.appName.size(), 1u);
  EXPECT_EQ(manifest.appName[0], "game.exe");
  EXPECT_TRUE(manifest.isPatch);
}

TEST(SignedManifest, MissingEntriesGiveTheirOwnBoxes) {
  SignedStore full;
  MemoryEntrySource noManifest, noSignature;
  noManifest.Add("VERSION.CFG.SIGN", full.signature);
  noSignature.Add("VERSION.CFG", full.manifest);
  bool loaded = true;
  ParamFile file;
  EXPECT_EQ(LoadAndReport(noManifest, full.key, &loaded, &file), "Patch file is corrupted, error 1.");
  EXPECT_FALSE(loaded);
  loaded = true;
  EXPECT_EQ(LoadAndReport(noSignature, full.key, &loaded, &file), "Patch file is corrupted, error 2.");
  EXPECT_FALSE(loaded);
}

// Every fault of the signature is code 7 with the provider's "bad signature" value, on both builds.
TEST(SignedManifest, AnyChangeToBytesSignatureOrKeyIsRefused) {
  const std::string expected = "Patch file is corrupted, error 7/" + std::to_string(static_cast<int>(0x80090006u)) + ".";
  SignedStore reference;
  struct Damage {
    const char* what;
    std::string manifest, signature;
    platform::KeyBlob key;
  };
  std::vector<Damage> damages;
  for (std::size_t at : {std::size_t(0), reference.manifest.size() / 2, reference.manifest.size() - 1}) {
    Damage flipped{"manifest byte flipped", reference.manifest, reference.signature, reference.key};
    flipped.manifest[at] = static_cast<char>(flipped.manifest[at] ^ 0x01);
    damages.push_back(flipped);
  }
  damages.push_back({"manifest one byte longer", reference.manifest + " ", reference.signature, reference.key});
  damages.push_back({"signature bit flipped", reference.manifest, reference.signature, reference.key});
  damages.back().signature[5] = static_cast<char>(damages.back().signature[5] ^ 0x80);
  damages.push_back({"signature shorter", reference.manifest, reference.signature.substr(0, 127), reference.key});
  damages.push_back({"signature longer", reference.manifest, reference.signature + '\0', reference.key});
  damages.push_back({"signature empty", reference.manifest, "", reference.key});
  damages.push_back({"another key", reference.manifest, reference.signature, Key("signature/openssl-public.blob")});

  for (const Damage& damage : damages) {
    MemoryEntrySource store;
    store.Add("VERSION.CFG", damage.manifest);
    store.Add("VERSION.CFG.SIGN", damage.signature);
    bool loaded = true;
    ParamFile file;
    EXPECT_EQ(LoadAndReport(store, damage.key, &loaded, &file), expected) << damage.what;
    EXPECT_FALSE(loaded) << damage.what;
    EXPECT_EQ(file.GetEntryCount(), 0) << damage.what << ": nothing is loaded from bytes that failed the check";
  }
}

// A key blob that cannot be imported is a different fault from a signature that does not hold.
TEST(SignedManifest, UnusableKeyIsCodeFour) {
  SignedStore patch;
  platform::KeyBlob broken = patch.key;
  broken[0] = 7;  // not a public key blob
  bool loaded = true;
  ParamFile file;
  const std::string box = LoadAndReport(patch.store, broken, &loaded, &file);
  EXPECT_EQ(box.rfind("Patch file is corrupted, error 4/", 0), 0u) << box;
  EXPECT_FALSE(loaded);
}

}  // namespace
