#include "platform/locale.h"

#include <cstdlib>
#include <cstring>

#include "pe/resourceText.h"

namespace platform {
namespace {

struct LocaleName {
  const char* name;  // language_TERRITORY, or a bare language for its main territory
  unsigned identifier;
};

const LocaleName kLocales[] = {
    {"cs_CZ", 1029}, {"cs", 1029},   {"de_DE", 1031}, {"de_AT", 3079}, {"de_CH", 2055}, {"de", 1031},
    {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105}, {"en", 1033},   {"es_ES", 3082},
    {"es_MX", 2058}, {"es", 3082},   {"fr_FR", 1036}, {"fr_BE", 2060}, {"fr_CA", 3084}, {"fr_CH", 4108},
    {"fr", 1036},    {"it_IT", 1040}, {"it_CH", 2064}, {"it", 1040},   {"pl_PL", 1045}, {"pl", 1045},
    {"ru_RU", 1049}, {"ru", 1049},   {"sk_SK", 1051}, {"sk", 1051},   {"hu_HU", 1038}, {"hu", 1038},
    {"nl_NL", 1043}, {"nl", 1043},   {"pt_BR", 1046}, {"pt_PT", 2070}, {"pt", 2070},   {"sv_SE", 1053},
    {"sv", 1053},    {"da_DK", 1030}, {"da", 1030},   {"fi_FI", 1035}, {"fi", 1035},   {"nb_NO", 1044},
    {"ja_JP", 1041}, {"ja", 1041},   {"ko_KR", 1042}, {"ko", 1042},   {"zh_CN", 2052}, {"zh_TW", 1028},
    {"tr_TR", 1055}, {"tr", 1055},   {"uk_UA", 1058}, {"uk", 1058},
};

// The first locale variable that is set and not empty, as the C library chooses messages.
const char* LocaleSetting() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return value;
  }
  return "";
}

}  // namespace

unsigned UserDefaultLocale() {
  // "de_DE.UTF-8@euro": the name is what stands before the code set and the modifier.
  std::string setting = LocaleSetting();
  setting = setting.substr(0, setting.find_first_of(".@"));
  for (const LocaleName& locale : kLocales) {
    if (setting == locale.name) return locale.identifier;
  }
  const std::string language = setting.substr(0, setting.find('_'));
  for (const LocaleName& locale : kLocales) {
    if (language == locale.name) return locale.identifier;
  }
  return 1033;
}

std::string NarrowFromUtf16(const char16_t* text, std::size_t count) { return pe::Utf16ToUtf8(text, count); }

std::string NarrowFromUtf8(const std::string& text) { return text; }

}  // namespace platform
