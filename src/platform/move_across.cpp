// What both systems' moves share: the order of the causes a failed move is
// given, the decision on what is moved to another volume, and the steps of
// such a move with what is undone when one fails.
#include <cstring>

#include "platform/platform_internal.h"

namespace kvo {
namespace platform {
namespace {

// IsReparseTagNameSurrogate: the tag names another file or folder.
constexpr std::uint32_t kNameSurrogateBit = 0x20000000;

bool Stopped(const StopFlag* stop) {
  return stop != nullptr && stop->load(std::memory_order_relaxed);
}

// Copies the source's bytes into the temporary, looking at `stop` before
// each block.
MoveResult CopyBlocks(CrossVolumeCopy& copy, const StopFlag* stop) {
  char buffer[1 << 16];
  for (;;) {
    if (Stopped(stop)) return MoveResult{MoveStatus::kStopped, 0};
    std::size_t got = 0;
    MoveResult result = copy.Read(sizeof buffer, buffer, got);
    if (!result.Moved() || got == 0) return result;
    result = copy.Write(buffer, got);
    if (!result.Moved()) return result;
  }
}

}  // namespace

bool FileIdentity::operator==(const FileIdentity& other) const {
  return kind == other.kind && volume == other.volume &&
         std::memcmp(file, other.file, sizeof file) == 0;
}

MoveResult Failed(std::uint32_t code) { return MoveResult{StatusOfError(code), code}; }

MoveStatus AcrossVolumesDecision(std::uint32_t attributes, std::uint32_t reparseTag) {
  if ((attributes & kAttributeReparsePoint) != 0 &&
      (reparseTag == 0 || (reparseTag & kNameSurrogateBit) != 0)) {
    return MoveStatus::kLinkAcrossVolumes;
  }
  if ((attributes & kAttributeFolder) != 0) return MoveStatus::kFolderAcrossVolumes;
  if ((attributes & kAttributeReadOnly) != 0) return MoveStatus::kReadOnlyAcrossVolumes;
  return MoveStatus::kMoved;
}

MoveResult Refused(const std::u16string& from, const std::u16string& to, std::uint32_t code) {
  // Asked afterwards, not taken from the code: the system checks the causes
  // in an order of its own (a name taken may hide a source held open).
  if (SourceGone(from)) return MoveResult{MoveStatus::kSourceGone, code};
  if (NameTaken(to)) return MoveResult{MoveStatus::kDestinationExists, code};
  return MoveResult{StatusOfError(code), code};
}

MoveStatus ObstacleTo(const std::u16string& from, const std::u16string& to, bool sameVolume) {
  if (SourceGone(from)) return MoveStatus::kSourceGone;
  if (NameTaken(to)) return MoveStatus::kDestinationExists;
  SourceLook look;
  if (sameVolume || !LookAtSource(from, look).Moved()) return MoveStatus::kMoved;
  return AcrossVolumesDecision(look.attributes, look.reparseTag);
}

CrossVolumeCopy::~CrossVolumeCopy() = default;

MoveResult MoveAcrossVolumes(CrossVolumeCopy& copy, const StopFlag* stop) {
  // Decided before anything is copied, in the order of the causes.
  SourceLook look;
  MoveResult result = copy.LookAtSource(look);
  if (result.status != MoveStatus::kSourceGone && copy.DestinationTaken()) {
    return MoveResult{MoveStatus::kDestinationExists, 0};
  }
  if (!result.Moved()) return result;
  const MoveStatus refusal = AcrossVolumesDecision(look.attributes, look.reparseTag);
  if (refusal != MoveStatus::kMoved) return MoveResult{refusal, 0};
  if (!(result = copy.OpenSource()).Moved()) return result;
  if (!(result = copy.CheckIdentity(look)).Moved()) return result;
  if (!(result = copy.CreateTemporary()).Moved()) return result;

  result = CopyBlocks(copy, stop);
  if (result.Moved()) {
    copy.SetTimes();
    result = copy.Flush();
  }
  if (result.Moved()) result = copy.GiveFinalName();
  if (!result.Moved()) {
    copy.RemoveTemporary();
    return result;
  }
  copy.SetAttributes();
  result = copy.RemoveSource();
  if (!result.Moved()) {
    // The source stays: take the copy back, so the file exists once.
    copy.RemoveFinal();
  }
  return result;
}

}  // namespace platform
}  // namespace kvo
