// A stand-in for the patch program's Windows build in the publisher tools' tests: a Windows executable
// with the trusted key slot, which prints the key it trusts in hexadecimal.
#include <cstdio>

#include "patch/trustedKey.h"

int main() {
  for (const std::uint8_t byte : TrustedKeyBlob()) std::printf("%02x", byte);
  std::printf("\n");
  return 0;
}
