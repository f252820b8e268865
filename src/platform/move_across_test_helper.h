// Opens the shared steps of a move to another volume to the tests: a
// scripted CrossVolumeCopy drives MoveAcrossVolumes through every branch,
// and AcrossVolumesDecision is checked over attributes and reparse tags, on
// every system (neither needs such files to exist). Product code includes
// platform_internal.h itself.
#pragma once

#include "platform/platform_internal.h"
