// Test helper: writes RCDATA resources into a copy of an executable, so the external-tools test can
// show the result to objdump, windres and Windows itself.
//   zr_pe_write_tool INPUT OUTPUT NAME=FILE...

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/resourceFiles.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: zr_pe_write_tool INPUT OUTPUT NAME=FILE...\n");
    return 2;
  }
  std::vector<platform::FileResource> resources;
  for (int i = 3; i < argc; ++i) {
    const char* equals = std::strchr(argv[i], '=');
    platform::FileResource resource;
    if (!equals || !pe::ParseResourceName(std::string(argv[i], static_cast<std::size_t>(equals - argv[i])).c_str(), &resource.name)) {
      std::fprintf(stderr, "bad resource argument: %s\n", argv[i]);
      return 2;
    }
    resource.type = pe::ResourceId::Number(pe::kRcDataType);
    resource.path = equals + 1;
    resources.push_back(resource);
  }
  pe::WriteReport report;
  std::string error;
  if (!platform::WriteResourcesToFile(argv[1], resources, argv[2], &report, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  std::printf("%s resource section, %zu resources, checksum %08x%s\n", report.sectionReplaced ? "replaced" : "appended",
              report.resourceCount, report.checksum, report.signatureRemoved ? ", signature removed" : "");
  return 0;
}
