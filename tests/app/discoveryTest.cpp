#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "El/QStream/crc32.h"
#include "app/distributions.h"
#include "app/versionRules.h"
#include "support/tempFolder.h"

namespace {

using app::DecideVersion;
using app::VersionDecision;

TEST(VersionRules, ParseVersionReadsMajorAndMinor) {
  EXPECT_EQ(app::ParseVersion("1.08"), 108);
  EXPECT_EQ(app::ParseVersion("1.8"), 108);
  EXPECT_EQ(app::ParseVersion("2"), 200);
  EXPECT_EQ(app::ParseVersion("1.05.3"), 105);
  EXPECT_EQ(app::ParseVersion(""), 0);
  EXPECT_EQ(app::ParseVersion("beta"), 0);
  EXPECT_EQ(app::ParseVersion("99999999999999999999.5"), 2147483647);  // held, never wrapped
  EXPECT_EQ(app::Major(108), 1);
  EXPECT_EQ(app::Minor(108), 8);
}

TEST(VersionRules, PatchesCompareTextsAndRequiredVersionsAsNumbers) {
  // Installed 1.05, patch 1.08, 1.06 required: message 19 names 1.06.
  auto result = DecideVersion(true, "1.08", "1.05", "1.06", "");
  EXPECT_EQ(result.decision, VersionDecision::RequiredNotMet);
  EXPECT_EQ(result.required, 106);
  EXPECT_EQ(DecideVersion(true, "1.08", "1.05", "1.05", "").decision, VersionDecision::Apply);
  EXPECT_EQ(DecideVersion(true, "1.08", "1.08", "", "").decision, VersionDecision::AlreadyApplied);
  EXPECT_EQ(DecideVersion(true, "1.08b", "1.08B", "", "").decision, VersionDecision::AlreadyApplied);
  EXPECT_EQ(DecideVersion(true, "1.07", "1.08", "", "").decision, VersionDecision::InstalledNewer);
  // Texts, not numbers: 1.10 is below 1.9, and 1.8 is not 1.08.
  EXPECT_EQ(DecideVersion(true, "1.10", "1.9", "", "").decision, VersionDecision::InstalledNewer);
  EXPECT_EQ(DecideVersion(true, "1.8", "1.08", "", "").decision, VersionDecision::Apply);
  EXPECT_EQ(DecideVersion(true, "1.08", "", "", "").decision, VersionDecision::Apply);
}

TEST(VersionRules, AddonsTestOnlyTheirRequiredVersion) {
  EXPECT_EQ(DecideVersion(false, "1.00", "1.08", "", "").decision, VersionDecision::Apply);
  EXPECT_EQ(DecideVersion(false, "1.00", "1.08", "9.99", "").decision, VersionDecision::Apply);
  const auto result = DecideVersion(false, "1.00", "1.05", "", "1.06");
  EXPECT_EQ(result.decision, VersionDecision::RequiredNotMet);
  EXPECT_EQ(result.required, 106);
}

app::Manifest Distributions() {
  app::Manifest manifest;
  manifest.distributions = {{"EURO", "", 0, -1}, {"GERMAN", "Deutsch", 1, 0}, {"USA", "United States", 1, -1},
                            {"AUSTRIA", "Österreich", 1, 1}};
  return manifest;
}

TEST(Distributions, RulesNarrowTheCandidatesByFileChecksums) {
  TempFolder folder;
  { std::ofstream(folder.File("lang.pak"), std::ios::binary) << "deutsch"; }
  const std::uint32_t german = Crc32Of("deutsch", 7);
  app::Manifest manifest = Distributions();
  EXPECT_EQ(app::DistributionCandidates(manifest), (std::vector<std::string>{"GERMAN", "USA", "AUSTRIA"}));

  manifest.rules = {{"missing.pak", 0, {"USA"}}, {"lang.pak", german ^ 1u, {"USA"}}, {"lang.pak", german, {"austria", "german"}}};
  auto candidates = app::DistributionCandidates(manifest);
  app::ApplyDistributionRules(manifest, folder.Path().string() + "/", &candidates);
  EXPECT_EQ(candidates, (std::vector<std::string>{"GERMAN", "AUSTRIA"}));  // the candidates' own order

  // A matching rule listing none of the candidates empties the list; later rules are not applied.
  manifest.rules = {{"lang.pak", german, {"FRENCH"}}, {"lang.pak", german, {"GERMAN"}}};
  candidates = app::DistributionCandidates(manifest);
  app::ApplyDistributionRules(manifest, folder.Path().string() + "/", &candidates);
  EXPECT_TRUE(candidates.empty());
}

TEST(Distributions, TheChosenTagComesWithItsAncestors) {
  const app::Manifest manifest = Distributions();
  std::string shown;
  EXPECT_EQ(app::ChosenWithAncestors(manifest, "austria", &shown), (std::vector<std::string>{"austria", "GERMAN", "EURO"}));
  EXPECT_EQ(shown, "Österreich");
  EXPECT_EQ(app::ChosenWithAncestors(manifest, "USA", &shown), std::vector<std::string>{"USA"});
  EXPECT_EQ(app::ChosenWithAncestors(manifest, "NOWHERE", &shown), std::vector<std::string>{"NOWHERE"});
  EXPECT_EQ(shown, "");
}

}  // namespace
