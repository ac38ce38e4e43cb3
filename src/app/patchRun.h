#pragma once
// The patch run: from the patch executable to an installation at the patch's version. Opens the store,
// checks and reads the manifest, finds the installation and its version, applies the version rules,
// detects the distribution, asks to start, verifies the installed files, then applies the version
// steps, the whole-file groups and the commands, writes the registry values, shortcuts and the
// uninstall log, and reports. Everything the user sees goes through the user-interface seam; the
// machine is reached through the platform seam.
//
// The run keeps a journal beside the installation while it changes files (patch/stepJournal.h): run
// again after an interruption, the same patch completes what the first run began.

#include <string>

#include "platform/keyBlob.h"
#include "ui/userInterface.h"

namespace patch {
class EntrySource;
}

namespace app {

// The run's results, which become the program's exit code.
enum PatchResult {
  kPatchDone = 0,      // applied, or already applied and verified, or (dry run) everything checked
  kPatchFailed = 1,    // any failure, or the distribution choice cancelled
  kPatchDeclined = 10  // the user answered No to the start question
};

// What a run does with a patch that carries no signed payload table (the original format, only its
// manifest signed with a 1024-bit key). A key of 2048 bits or more always requires the table.
enum class UnsignedPayload {
  Refuse,           // refused before anything changes, with a message that says why
  Apply,            // applied as the format always was (the Windows program)
  ApplyNoPrograms,  // applied, but no program the patch carries is started (no delta tool, no commands)
};

struct PatchRunOptions {
  // The file whose resources are the payload; "" means the running program itself.
  std::string storePath;
  // A store the caller holds open instead (tests); null: opened from storePath.
  patch::EntrySource* store = nullptr;
  // The key the manifest's and the payload table's signatures must verify with.
  platform::KeyBlob trustedKey;
  UnsignedPayload unsignedPayload = UnsignedPayload::Refuse;
  // Every check up to the start question, the free-space test and a list of what would change;
  // nothing is written.
  bool dryRun = false;
  // Only check the installed game against the checksum list of its installed version, listing every
  // file that is missing or damaged (app/installationCheck.h); nothing is written.
  bool verifyOnly = false;
  // The installation folder when the caller found it without the registry (a game a launcher
  // installed, or a folder the player named), in the program's own form ending with a backslash; ""
  // means the folder the game's registration names.
  std::string installFolder;
  // The distribution the player named in advance (--distribution); "" when none. A tag the patch does
  // not declare, or that the installation cannot be, refuses the run before the start question.
  std::string distribution;
  // Everything the run shows and asks goes here; null: the process's current interface.
  ui::UserInterface* userInterface = nullptr;
};

int PatchRun(const PatchRunOptions& options);

}  // namespace app
