#include "platform/platform_internal.h"

namespace kvo {
namespace platform {

CrossVolumeCopy::~CrossVolumeCopy() = default;

bool MoveAcrossVolumes(CrossVolumeCopy& copy) {
  // Decided on the open source, before anything is copied.
  if (!copy.OpenSource()) return false;
  if (!copy.CreateTemporary()) return false;
  if (!copy.CopyBytes() || !copy.Seal() || !copy.GiveFinalName()) {
    copy.RemoveTemporary();
    return false;
  }
  if (!copy.RemoveSource()) {
    // The source stays: take the copy back, so the file exists once.
    copy.RemoveFinal();
    return false;
  }
  return true;
}

}  // namespace platform
}  // namespace kvo
