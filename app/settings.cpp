#include "app/settings.h"

#include "platform/core/number.h"
#include "platform/storage/profile.h"

namespace app {

std::int64_t readSetting(std::string_view name, std::int64_t current) {
  return marlo::toInteger(
      marlo::readProfileString(name, name, marlo::toText(current), kSettingsFile));
}

void writeSetting(std::string_view name, std::int64_t value) {
  marlo::writeProfileString(name, name, marlo::toText(value), kSettingsFile);
}

}  // namespace app
