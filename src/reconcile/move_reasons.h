// Why an archive did not move, as the run's failure lines say it.
#pragma once

#include "platform/platform.h"

namespace kvo {

// The reason text of a failed move's status, for the line
// "  - <name> (<reason>)": a fixed text, or for kSystemError (and any status
// without a text of its own) "エラー %u", a format taking the system's code.
const char16_t* MoveReasonText(platform::MoveStatus status);

}  // namespace kvo
