#include "app/manifest.h"

#include <gtest/gtest.h>

#include <string>

#include "El/ParamFile/paramFile.h"
#include "El/ParamFile/paramText.h"
#include "El/QStream/qstream.h"
#include "support/compiledConfig.h"
#include "support/captureDiagnostics.h"

namespace {

app::Manifest Read(const std::string& text) {
  const std::string bytes = CompileConfigText(text);
  ParamFile file;
  EXPECT_EQ(app::LoadManifestTree(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), file), 0);
  return app::ReadManifest(file);
}

const char* kFull = R"(configApp="Software\Corvanth\Game";
targetDirectory="Game";
displayName="Corvanth";
version="1.08";
appName[]={"bin\game.exe","game.exe"};
isPatch=1;
requiredForPatch="1.05";
class Distributions
{
  class EURO { scope=0; parent=""; };
  class GERMAN { scope=1; name="Deutsch"; parent="EURO"; };
  class USA { scope=1; name="United States"; parent="LATER"; };
  class LATER { scope=0; parent=""; };
  notAClass=1;
};
class WhatDistribution
{
  class German { file="data\lang.pak"; crc=-559038737; distributions[]={"GERMAN"}; };
  class Usa { file="data\lang.pak"; crc=305419896; distributions="USA"; };
};
class UpdateRegistry
{
  class Version { registryUser=0; registryPath="Software\Corvanth\Game"; registryName="Version"; registryValue="1.08"; };
  class GermanOnly { registryUser=1; registryPath="Software\Corvanth"; registryName="Lang"; registryValue="de"; distributions[]={"GERMAN","EURO"}; };
  class Never { registryUser=1; registryPath="x"; registryName="y"; registryValue="z"; distributions[]={}; };
};
class Shortcuts
{
  class Editor { source="Editor"; destination="bin\editor.exe"; arguments="-window"; workingDirectory="bin\editor.exe"; startMenuGroup="Corvanth\Tools"; description="Map editor"; excludeDistributions[]={"USA"}; };
};
class Commands
{
  class First { commandLine="setup.exe /quiet"; directory="C:\Temp"; };
  class Empty { commandLine=""; directory="ignored"; };
};
)";

TEST(Manifest, ReadsTheWholeSchema) {
  CaptureDiagnostics diagnostics;
  const app::Manifest manifest = Read(kFull);
  EXPECT_EQ(manifest.configApp, "Software\\Corvanth\\Game");
  EXPECT_EQ(manifest.targetDirectory, "Game");
  EXPECT_EQ(manifest.displayName, "Corvanth");
  EXPECT_EQ(manifest.version, "1.08");
  EXPECT_EQ(manifest.appName, (std::vector<std::string>{"bin\\game.exe", "game.exe"}));
  EXPECT_TRUE(manifest.isPatch);
  EXPECT_EQ(manifest.requiredForPatch, "1.05");
  EXPECT_EQ(manifest.requiredForAddons, "");
  EXPECT_EQ(manifest.addonName, "");

  ASSERT_EQ(manifest.distributions.size(), 4u);  // the value entry among them is skipped
  EXPECT_EQ(manifest.distributions[0].tag, "EURO");
  EXPECT_EQ(manifest.distributions[0].displayName, "");
  EXPECT_EQ(manifest.distributions[1].displayName, "Deutsch");
  EXPECT_EQ(manifest.distributions[1].parent, 0);
  EXPECT_EQ(manifest.distributions[2].parent, -1);  // its parent is declared after it

  ASSERT_EQ(manifest.rules.size(), 2u);
  EXPECT_EQ(manifest.rules[0].crc, 0xDEADBEEFu);
  EXPECT_EQ(manifest.rules[1].distributions, std::vector<std::string>{"USA"});  // one text: a list of one

  ASSERT_EQ(manifest.registry.size(), 3u);
  EXPECT_FALSE(manifest.registry[0].hasDistributions);
  EXPECT_TRUE(manifest.registry[1].user);
  EXPECT_EQ(manifest.registry[1].distributions, (std::vector<std::string>{"GERMAN", "EURO"}));
  EXPECT_TRUE(manifest.registry[2].hasDistributions);
  EXPECT_TRUE(manifest.registry[2].distributions.empty());

  ASSERT_EQ(manifest.shortcuts.size(), 1u);
  EXPECT_EQ(manifest.shortcuts[0].source, "Editor");
  EXPECT_EQ(manifest.shortcuts[0].destination, "bin\\editor.exe");
  EXPECT_EQ(manifest.shortcuts[0].arguments, "-window");
  EXPECT_EQ(manifest.shortcuts[0].startMenuGroup, "Corvanth\\Tools");
  EXPECT_TRUE(manifest.shortcuts[0].includeDistributions.empty());
  EXPECT_EQ(manifest.shortcuts[0].excludeDistributions, std::vector<std::string>{"USA"});

  ASSERT_EQ(manifest.commands.size(), 2u);
  EXPECT_EQ(manifest.commands[0].directory, "C:\\Temp");
  EXPECT_EQ(manifest.commands[1].directory, "");  // not read for an empty command line
  EXPECT_TRUE(diagnostics.lines.empty()) << diagnostics.lines[0];
}

TEST(Manifest, MissingRequiredKeysAreReportedAndReadEmpty) {
  CaptureDiagnostics diagnostics;
  const app::Manifest manifest = Read("displayName=\"X\";appName=\"game.exe\";\nclass Distributions { class A { scope=1; }; };\n");
  EXPECT_EQ(manifest.configApp, "");
  EXPECT_EQ(manifest.version, "");
  EXPECT_FALSE(manifest.isPatch);
  EXPECT_EQ(manifest.appName, std::vector<std::string>{"game.exe"});
  ASSERT_EQ(manifest.distributions.size(), 1u);
  EXPECT_EQ(manifest.distributions[0].parent, -1);
  for (const char* key : {"configApp'.", "version'.", "isPatch'.", "A.name'.", "A.parent'."}) {
    EXPECT_TRUE(diagnostics.Contains(key)) << key;
  }
  EXPECT_EQ(diagnostics.Count("No entry '"), 5);
}

TEST(Manifest, DamagedBytesLoadAsFarAsTheyGoAndNeverAsText) {
  CaptureDiagnostics diagnostics;
  const std::string text = "configApp=\"Software\\X\";";
  ParamFile file;
  // Text bytes are not a binary config: the loader refuses them.
  EXPECT_NE(app::LoadManifestTree(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), file), 0);
  EXPECT_EQ(app::ReadManifest(file).configApp, "");
  std::string bytes = CompileConfigText(kFull);
  for (std::size_t cut = 0; cut < bytes.size(); cut += 7) {
    ParamFile truncated;
    app::LoadManifestTree(reinterpret_cast<const std::uint8_t*>(bytes.data()), cut, truncated);
    app::ReadManifest(truncated);  // never crashes, whatever it finds
  }
}

}  // namespace
