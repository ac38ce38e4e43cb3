#include "app/versionRules.h"

#include <cstdio>
#include <cstring>

#include "Es/Containers/nameText.h"

namespace app {
namespace {

// Decimal digits from `position`, held below a bound so that a long run of digits cannot overflow.
int ReadNumber(const std::string& text, std::size_t* position) {
  long long value = 0;
  while (*position < text.size() && text[*position] >= '0' && text[*position] <= '9') {
    if (value < 100000000) value = value * 10 + (text[*position] - '0');
    ++*position;
  }
  return static_cast<int>(value);
}

}  // namespace

VersionNumber ParseVersion(const std::string& text) {
  std::size_t position = 0;
  const long long major = ReadNumber(text, &position);
  long long minor = 0;
  if (position < text.size() && text[position] == '.') {
    ++position;
    minor = ReadNumber(text, &position);
  }
  const long long version = major * 100 + minor;
  return version > 2147483647LL ? 2147483647 : static_cast<VersionNumber>(version);
}

VersionRuleResult DecideVersion(bool isPatch, const std::string& patchVersion, const std::string& installedVersion,
                                const std::string& requiredForPatch, const std::string& requiredForAddons) {
  VersionRuleResult result;
  const VersionNumber installed = ParseVersion(installedVersion);
  if (!isPatch) {
    const VersionNumber required = ParseVersion(requiredForAddons);
    if (installed < required) result = {VersionDecision::RequiredNotMet, required};
    return result;
  }
  const VersionNumber required = ParseVersion(requiredForPatch);
  if (required > 0 && installed < required) return {VersionDecision::RequiredNotMet, required};
  if (EqualIgnoringCase(patchVersion, installedVersion)) return {VersionDecision::AlreadyApplied, 0};
  // Byte by byte as unsigned characters, the shorter text lower when it is a prefix of the other.
  if (std::strcmp(patchVersion.c_str(), installedVersion.c_str()) <= 0) return {VersionDecision::InstalledNewer, 0};
  return result;
}

std::string VersionText(VersionNumber version) {
  char text[24];
  std::snprintf(text, sizeof text, "%d.%02d", Major(version), Minor(version));
  return text;
}

}  // namespace app
