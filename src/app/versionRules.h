#pragma once
// Game versions and the rules that decide whether a patch applies to an installation.

#include <cstdint>
#include <string>

namespace app {

// A version as major × 100 + minor, shown as "%d.%02d".
using VersionNumber = std::int32_t;

// A decimal number, then, when a full stop follows, a second one: major × 100 + minor; 0 for an empty
// or non-numeric text. Numbers too large for the form are held at the largest it can show.
VersionNumber ParseVersion(const std::string& text);
inline int Major(VersionNumber version) { return version / 100; }
inline int Minor(VersionNumber version) { return version % 100; }
// "%d.%02d": 1.08 for 108.
std::string VersionText(VersionNumber version);

enum class VersionDecision {
  Apply,            // the patch (or addon) applies
  AlreadyApplied,   // the installed version text is the patch's (ignoring case): verify only
  RequiredNotMet,   // message 19: the installed version is below the required one
  InstalledNewer,   // message 5: the installed version text is not below the patch's
};

struct VersionRuleResult {
  VersionDecision decision = VersionDecision::Apply;
  VersionNumber required = 0;  // for message 19
};

// The rules, with the manifest's texts and the installed executable's version text. Patches compare
// the texts byte by byte (so 1.10 is below 1.9, and 1.8 differs from 1.08); the required versions are
// compared as numbers. Addons only test requiredForAddons.
VersionRuleResult DecideVersion(bool isPatch, const std::string& patchVersion, const std::string& installedVersion,
                                const std::string& requiredForPatch, const std::string& requiredForAddons);

}  // namespace app
