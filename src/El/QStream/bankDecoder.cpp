#include "El/QStream/bankDecoder.h"

#include <string>
#include <vector>

#include "El/Common/appFrame.h"

namespace {

struct Registration {
  std::string name;
  BankDecoderFactory factory;
};

std::vector<Registration>& Registry() {
  static std::vector<Registration> registry;
  return registry;
}

int FindRegistration(const char* name) {
  const std::vector<Registration>& registry = Registry();
  for (std::size_t i = 0; i < registry.size(); ++i) {
    if (registry[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

bool RegisterBankDecoder(const char* name, BankDecoderFactory factory) {
  if (FindRegistration(name) >= 0) {
    ErrorPositionF("Ecryption %s already registered", name);
    return false;
  }
  Registry().push_back({name, factory});
  return true;
}

bool UnregisterBankDecoder(const char* name) {
  int index = FindRegistration(name);
  if (index < 0) return false;
  Registry().erase(Registry().begin() + index);
  return true;
}

Ref<IBankDecoder> CreateBankDecoder(const char* name) {
  int index = FindRegistration(name);
  if (index < 0) {
    ErrorPositionF("Unknown encryption %s", name);
    return Ref<IBankDecoder>();
  }
  return Ref<IBankDecoder>(Registry()[index].factory());
}
