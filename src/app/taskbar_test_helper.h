// Lets a test build of the program stand in for the shell's taskbar object.
#pragma once

#include <shobjidl.h>

namespace kvo {

// Makes the object TaskbarProgress::Connect initialises and uses; nullptr
// when there is none.
using TaskbarListMaker = ITaskbarList3* (*)();
void SetTaskbarListMaker(TaskbarListMaker maker);

}  // namespace kvo
