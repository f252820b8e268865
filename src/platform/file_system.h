// The file system as the core sees it: every question the core asks the
// system about files, folders and moves goes through one FileSystem object,
// handed down explicitly from the run. The program passes
// DefaultFileSystem(), the system's own calls; tests wrap it to make any
// one operation fail on purpose, on its Nth call or for a chosen path.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace kvo {
namespace platform {

class FileSystem {
 public:
  virtual ~FileSystem();

  // Reads a whole file, opened with no sharing (nobody can change it while
  // it is read), into `out`, followed by `extraZeros` zero bytes. Anything
  // but kRead leaves `out` empty. `out` keeps its storage when it is large
  // enough; when it has to grow it is given room for exactly what this file
  // needs, never more. Running out of memory is thrown with `out` empty.
  virtual FileStatus ReadWholeFile(const std::u16string& path, std::size_t extraZeros,
                                   std::vector<char>& out) = 0;

  // Lists the entries matching the wildcard of `searchPath` (folder +
  // pattern, as formed by CombinePath), in the order the system delivers
  // them, appending their bare names to `names`. Only long names that match
  // the pattern by MatchesPattern are listed; sub-folders are listed like
  // files. A folder in which nothing matches is kListed with no name added.
  virtual ListStatus FindFiles(const std::u16string& searchPath,
                               std::vector<std::u16string>& names) = 0;

  // true only when `path` names an existing folder.
  virtual bool IsFolder(const std::u16string& path) = 0;

  // Moves (renames) a file or folder. Never replaces an existing
  // destination; on failure both sides are as they were and the result
  // says why, the first of these that holds: the source is gone, the
  // destination has the name already, the source is not moved to another
  // volume (see below), then what the system said. A file that must go to
  // another volume is copied to a temporary name in the destination's
  // folder, flushed, given its final name without replacing, and only then
  // removed from its source; an interrupted move thus never leaves a
  // partial file under the final name. The copy keeps the source's times,
  // and gets its attributes once it has its final name. Not moved to
  // another volume, and so failing without touching anything: a folder, a
  // symbolic link, junction or other name surrogate (neither it nor what it
  // points to is copied or removed), and a read-only file (it could not be
  // removed after the copy). Other reparse points (cloud files, compressed
  // or deduplicated files) are copied as the data they hold; a source
  // replaced while it is copied fails with kReplacedDuringMove. `stop`,
  // when given, is looked at between the blocks of such a copy: once set,
  // the copy is given up (kStopped) and its temporary removed.
  virtual MoveResult MoveNoReplace(const std::u16string& from, const std::u16string& to,
                                   const StopFlag* stop) = 0;

  // For a move of `name` from folder `fromFolder` to folder `toFolder` whose
  // paths do not fit kMaxPath, and so cannot be tried: what the move would
  // have given before a path too long, in the order MoveNoReplace gives
  // causes: kSourceGone, kDestinationExists, or, when the folders lie on
  // different volumes, kLinkAcrossVolumes, kFolderAcrossVolumes or
  // kReadOnlyAcrossVolumes. kMoved when none of these holds. Changes nothing.
  virtual MoveStatus MoveObstacle(const std::u16string& fromFolder,
                                  const std::u16string& toFolder,
                                  const std::u16string& name) = 0;

  // Makes `path` the current folder; false when it cannot be.
  virtual bool SetCurrentFolder(const std::u16string& path) = 0;

  // The folder the program was started in (see RecordStartFolder).
  virtual std::u16string StartFolder() = 0;

  // Folder of the running executable, without a trailing separator: where
  // the side lists are kept.
  virtual std::u16string ExeFolder() = 0;
};

// The system's own file system, one for the whole program.
FileSystem& DefaultFileSystem();

}  // namespace platform
}  // namespace kvo
