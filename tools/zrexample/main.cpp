// zrexample: the example game of the demo and the end-to-end tests. It writes three versions (1.05,
// 1.06, 1.08) of a small game in two distributions (ENGLISH and GERMAN), with the publisher's
// manifest for the patch to 1.08, and installs a version into a Wine prefix the way the game's own
// installer would (its folder under Program Files and its registration), without running Wine.
//
//   zrexample make DIR [--scale MIB]         DIR/<DISTRIBUTION>/<VERSION>/... and DIR/manifest.cfg
//   zrexample install TREE --prefix PREFIX   copies TREE into the prefix and registers it
//   zrexample compare TREE FOLDER            the installation against a version, names ignoring case
//
// One file a command: makeVersions.cpp, installVersion.cpp, compareTrees.cpp.

#include <CLI/CLI.hpp>

#include <cstddef>
#include <string>
#include <vector>

#include "exampleGame.h"

int main(int argc, char** argv) {
  CLI::App app{"The example game of the demo: three versions in two distributions, and its installer"};
  app.require_subcommand(1);
  std::string directory, tree, prefix;
  int scale = 1;
  bool withStep107 = false;
  std::vector<std::string> only;
  CLI::App* make = app.add_subcommand("make", "Write versions 1.05, 1.06 and 1.08 of both distributions and the manifest");
  make->add_option("DIR", directory, "Output folder")->required();
  make->add_option("--scale", scale, "About this many MiB of map data per version (default 1)")->check(CLI::Range(1, 4096));
  make->add_flag("--with-1.07", withStep107, "Also a version 1.07 between 1.06 and 1.08 (three steps)");
  make->add_option("--only", only, "Only these distributions (ENGLISH, GERMAN)");
  CLI::App* install = app.add_subcommand("install", "Install a version tree into a Wine prefix and register it");
  install->add_option("TREE", tree, "The version's folder, e.g. DIR/GERMAN/1.05")->required()->check(CLI::ExistingDirectory);
  install->add_option("--prefix", prefix, "The prefix (made when missing)")->required();
  std::string expected, installed;
  std::vector<std::string> extra;
  CLI::App* compare = app.add_subcommand("compare", "Compare an installation with a version tree as Windows would (names ignoring case)");
  compare->add_option("EXPECTED", expected, "The version's tree")->required()->check(CLI::ExistingDirectory);
  compare->add_option("INSTALLED", installed, "The installation folder")->required()->check(CLI::ExistingDirectory);
  compare->add_option("--extra", extra, "Names the patch may add besides the tree (uninstall.log, *.lnk)");
  CLI11_PARSE(app, argc, argv);
  if (*make) {
    zrexample::MakeOptions options;
    options.scale = static_cast<std::size_t>(scale);
    options.withStep107 = withStep107;
    return zrexample::RunMake(directory, options, only);
  }
  if (*compare) return zrexample::RunCompare(expected, installed, extra);
  return zrexample::RunInstall(tree, prefix);
}
