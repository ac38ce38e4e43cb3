#include "app/manifest.h"

#include <climits>

#include "El/ParamFile/paramFile.h"
#include "El/QStream/qstream.h"
#include "patch/entryNames.h"

namespace app {
namespace {

// A required key: missing ones are reported by the config library and read as empty.
ParamEntryPtr Required(const ParamEntry& holder, const char* key) { return holder.GetClass(key); }

std::string RequiredText(const ParamEntry& holder, const char* key) { return Required(holder, key)->GetValue().Data(); }
int RequiredInt(const ParamEntry& holder, const char* key) { return Required(holder, key)->GetInt(); }

std::string OptionalText(const ParamEntry& holder, const char* key) {
  const ParamEntryPtr entry = holder.FindEntry(key);
  return entry ? entry->GetValue().Data() : std::string();
}

// A text list: an array of texts, or one text standing for a list of one.
std::vector<std::string> TextList(const ParamEntry& entry) {
  std::vector<std::string> texts;
  if (entry.IsArray()) {
    for (int i = 0; i < entry.GetSize(); ++i) texts.push_back(entry[i].GetValue().Data());
  } else if (!entry.IsError() && !entry.IsClass()) {
    texts.push_back(entry.GetValue().Data());
  }
  return texts;
}

// Calls `read` for every class inside the optional class `name`, in declaration order.
template <class Read>
void ForEachClassIn(const ParamFile& file, const char* name, Read read) {
  const ParamEntryPtr holder = file.FindEntry(name);
  if (!holder || !holder->IsClass()) return;
  for (int i = 0; i < holder->GetEntryCount(); ++i) {
    const ParamEntryPtr member = holder->GetEntry(i);
    if (member && member->IsClass()) read(*member);
  }
}

}  // namespace

int LoadManifestTree(const std::uint8_t* bytes, std::size_t size, ParamFile& file) {
  QIStrStream stream(bytes, size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size));
  return file.ParseBin(stream);
}

Manifest ReadManifest(const ParamFile& file) {
  Manifest manifest;
  manifest.configApp = RequiredText(file, "configApp");
  manifest.targetDirectory = OptionalText(file, "targetDirectory");
  manifest.displayName = RequiredText(file, "displayName");
  manifest.version = RequiredText(file, "version");
  manifest.appName = TextList(*Required(file, "appName"));
  manifest.addonName = OptionalText(file, "name");
  manifest.requiredForAddons = OptionalText(file, "requiredForAddons");
  manifest.requiredForPatch = OptionalText(file, "requiredForPatch");
  manifest.isPatch = RequiredInt(file, "isPatch") != 0;

  ForEachClassIn(file, "Distributions", [&](const ParamEntry& entry) {
    ManifestDistribution distribution;
    distribution.tag = entry.GetName().Data();
    distribution.scope = RequiredInt(entry, "scope");
    if (distribution.scope > 0) distribution.displayName = RequiredText(entry, "name");
    // A parent must be declared before its children; a later one is no parent.
    const std::string parent = RequiredText(entry, "parent");
    for (std::size_t i = 0; !parent.empty() && i < manifest.distributions.size(); ++i) {
      if (EqualIgnoringCase(manifest.distributions[i].tag, parent)) {
        distribution.parent = static_cast<int>(i);
        break;
      }
    }
    manifest.distributions.push_back(distribution);
  });
  ForEachClassIn(file, "WhatDistribution", [&](const ParamEntry& entry) {
    DistributionRule rule;
    rule.file = RequiredText(entry, "file");
    rule.crc = static_cast<std::uint32_t>(RequiredInt(entry, "crc"));  // the 32-bit pattern
    rule.distributions = TextList(*Required(entry, "distributions"));
    manifest.rules.push_back(rule);
  });
  ForEachClassIn(file, "UpdateRegistry", [&](const ParamEntry& entry) {
    RegistryUpdate update;
    update.user = RequiredInt(entry, "registryUser") != 0;
    update.path = RequiredText(entry, "registryPath");
    update.name = RequiredText(entry, "registryName");
    update.value = RequiredText(entry, "registryValue");
    const ParamEntryPtr distributions = entry.FindEntry("distributions");
    update.hasDistributions = static_cast<bool>(distributions);
    if (distributions) update.distributions = TextList(*distributions);
    manifest.registry.push_back(update);
  });
  ForEachClassIn(file, "Shortcuts", [&](const ParamEntry& entry) {
    ShortcutEntry shortcut;
    shortcut.source = RequiredText(entry, "source");
    shortcut.destination = RequiredText(entry, "destination");
    shortcut.arguments = RequiredText(entry, "arguments");
    shortcut.workingDirectory = RequiredText(entry, "workingDirectory");
    shortcut.startMenuGroup = RequiredText(entry, "startMenuGroup");
    shortcut.description = RequiredText(entry, "description");
    if (const ParamEntryPtr include = entry.FindEntry("includeDistributions")) shortcut.includeDistributions = TextList(*include);
    if (const ParamEntryPtr exclude = entry.FindEntry("excludeDistributions")) shortcut.excludeDistributions = TextList(*exclude);
    manifest.shortcuts.push_back(shortcut);
  });
  ForEachClassIn(file, "Commands", [&](const ParamEntry& entry) {
    ManifestCommand command;
    command.commandLine = RequiredText(entry, "commandLine");
    if (!command.commandLine.empty()) command.directory = OptionalText(entry, "directory");
    manifest.commands.push_back(command);
  });
  return manifest;
}

}  // namespace app
