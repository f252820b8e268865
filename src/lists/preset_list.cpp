#include "lists/preset_list.h"

#include <utility>

namespace kvo {

void PresetList::Append(const PresetRecord& record) { records_.push_back(record); }
void PresetList::Append(PresetRecord&& record) { records_.push_back(std::move(record)); }

}  // namespace kvo
