#include "preset/preset_format.h"

namespace kvo {
namespace preset_format {

bool IsPlaceholderName(const std::u16string& name) {
  // Everything before the number: "???(".
  static const std::u16string prefix = [] {
    const std::u16string format(kPlaceholderFormat);
    return format.substr(0, format.find(u'%'));
  }();
  return name.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace preset_format
}  // namespace kvo
