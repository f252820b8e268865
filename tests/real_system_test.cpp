// The cases that need the real system, which no planned fault can stand in
// for: a Work folder on another file system (the whole copy, and the real
// causes of a move that is refused there: a folder, a read-only file, a
// link, a name taken, a path too long), a copy into a folder so deep its
// temporary needs the long form, a stop and a kill during such a copy, files
// held open with no sharing (Windows) and permission bits (POSIX, an
// ordinary user). Every step of the copy failing in turn is the scripted
// copy's (Moves.EveryStepOfACopyAcrossVolumesFailsCleanly).
#include "gtest_support.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>

#ifndef _WIN32
#include <errno.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifdef _WIN32
#include <windows.h>
#endif

#include "fault_file_system.h"
#include "ledger.h"
#include "memory_pane.h"
#include "platform/platform.h"
#include "platform/system.h"

namespace kvo::test {
namespace {

#ifndef _WIN32
// A tmpfs mounted over a folder for the life of the object.
class Tmpfs {
 public:
  Tmpfs(const fs::path& folder, const std::string& options) : folder_(folder) {
    mounted_ = ::mount("kvo-test", folder.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted_) why_ = std::string("cannot mount a tmpfs: ") + std::strerror(errno);
  }
  ~Tmpfs() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }
  const std::string& Why() const { return why_; }

 private:
  fs::path folder_;
  bool mounted_ = false;
  std::string why_;
};

dev_t DeviceOf(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? st.st_dev : 0;
}
#endif

// A folder outside the workspace, removed with everything in it at the end.
struct RemovedOnExit {
  fs::path path;
  ~RemovedOnExit() {
    std::error_code ignored;
    if (!path.empty()) fs::remove_all(Verbatim(path), ignored);
  }
};

// The Work folder of a workspace on another file system for the life of the
// object: natively a tmpfs mounted over it, else a folder in /dev/shm when
// that is another file system; under Wine a folder in /dev/shm through the
// Z: drive, where a rename from the workspace fails with
// ERROR_NOT_SAME_DEVICE as it does between two volumes on Windows.
class WorkElsewhere {
 public:
  WorkElsewhere(RunWorkspace& ws, const std::string& size) {
    const std::string name = "kvo-work-" + ws.Root().path().filename().u8string();
#ifdef _WIN32
    (void)size;
    const fs::path shm = "Z:\\dev\\shm";
    if (!fs::is_directory(shm)) {
      why_ = "no /dev/shm to put the Work folder on";
      return;
    }
    folder_ = shm / name;
    fs::create_directory(folder_);
    cleanup_.path = folder_;
    // What the move relies on: the system refuses to rename across, and says why.
    const fs::path probe = ws.Folder(kPlugin) / "probe";
    WriteText(probe, "probe");
    const BOOL moved = MoveFileExW(probe.c_str(), (folder_ / "probe").c_str(), 0);
    const DWORD error = GetLastError();
    fs::remove(probe);
    fs::remove(folder_ / "probe");
    if (moved) {
      why_ = "/dev/shm is on the same file system here";
      return;
    }
    EXPECT_EQ(error, static_cast<DWORD>(ERROR_NOT_SAME_DEVICE));
#else
    tmpfs_ = std::make_unique<Tmpfs>(ws.Folder(kWork), "size=" + size + ",mode=0755");
    folder_ = ws.Folder(kWork);
    if (!tmpfs_->Mounted()) {
      // No mounting here: /dev/shm will do when it is another file system.
      if (!fs::is_directory("/dev/shm") || DeviceOf("/dev/shm") == DeviceOf(ws.Root().path())) {
        why_ = tmpfs_->Why() + ", and /dev/shm is no other file system";
        return;
      }
      folder_ = fs::path("/dev/shm") / name;
      fs::create_directory(folder_);
      cleanup_.path = folder_;
      std::printf("note: %s; the Work folder is in /dev/shm\n", tmpfs_->Why().c_str());
    }
    EXPECT_NE(DeviceOf(folder_), DeviceOf(ws.Folder(kPlugin)));
#endif
    ws.SetFolder(kWork, S(folder_));
    ready_ = true;
  }
  bool Ready() const { return ready_; }
  const std::string& Why() const { return why_; }
  const fs::path& Folder() const { return folder_; }

 private:
#ifndef _WIN32
  std::unique_ptr<Tmpfs> tmpfs_;
#endif
  RemovedOnExit cleanup_;
  fs::path folder_;
  std::string why_;
  bool ready_ = false;
};

TEST(RealSystem, WorkFolderOnAnotherFileSystem) {
  RunWorkspace ws;
  LayLists(ws);
  ws.Preset("b.kvo", {3});
  WorkElsewhere elsewhere(ws, "4m");
  if (!elsewhere.Ready()) GTEST_SKIP() << elsewhere.Why();
  const fs::path other = elsewhere.Folder();
  Ledger ledger(ws);
  ledger.Move(kWork, other);
  ledger.Put(kPlugin, "base.vac");              // needed, stays
  ledger.Put(kPlugin, "old.vac", 100000);       // unneeded: copied across, then removed
  ledger.PutEmpty(kPlugin, "empty.vac");        // unneeded, no bytes at all
  ledger.Put(kPlugin, "COM1.vac", 30000);       // unneeded, named for a device
  ledger.Put(kPlugin, "dir.vac", 0, true);      // a folder: not moved across
  ledger.Put(kPlugin, "twice.vac");             // unneeded, Work has one too
  ledger.Put(kWork, "twice.vac");
  ledger.Put(kWork, "face.vac", 70000);         // needed: copied across
  ledger.Put(kWork, "spare.vac");               // unneeded, stays
  // Read-only: it could not be removed after the copy, so it is not copied.
  ledger.Put(kPlugin, "locked.vac", 50000);
  const auto readOnly = [](const fs::path& file, bool on) {
    fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    on ? fs::perm_options::remove : fs::perm_options::add);
  };
  const fs::path locked = ws.Folder(kPlugin) / "locked.vac";
  readOnly(locked, true);
  // Read-only too, but the name taken in Work is what the line says.
  readOnly(ws.Folder(kPlugin) / "twice.vac", true);
  // What the copy keeps of the archive beside its bytes.
#ifdef _WIN32
  ASSERT_TRUE(SetFileAttributesW((ws.Folder(kPlugin) / "old.vac").c_str(), FILE_ATTRIBUTE_HIDDEN));
#else
  fs::permissions(ws.Folder(kPlugin) / "old.vac", fs::perms::owner_read | fs::perms::owner_write |
                                                      fs::perms::others_read);
#endif
  // Names too long for a path in either folder: a folder is still refused
  // as a folder across file systems, a file for its path.
  const std::string longFolder = std::string(240, 'd') + ".vac";
  const std::string longFile = std::string(240, 'f') + ".vac";
  ledger.Put(kPlugin, longFolder, 0, true);
  ledger.Put(kPlugin, longFile);
  // A folder is never moved across file systems; Wine refuses it too.
  std::string moves = "3/5 1/0";
  std::string failed = Failed(longFolder, kFolder) + Failed("dir.vac", kFolder) +
                       Failed(longFile, kTooLong) + Failed("locked.vac", kReadOnly) +
                       Failed("twice.vac", kExists);
#ifndef _WIN32
  // A link is neither followed nor moved: its target lies outside.
  const fs::path outside = ws.Root().Sub("shared");
  ledger.PutLink(kPlugin, "link.vac", outside);
  moves = "3/6 1/0";
  failed = Failed(longFolder, kFolder) + Failed("dir.vac", kFolder) + Failed(longFile, kTooLong) +
           Failed("link.vac", kLink) + Failed("locked.vac", kReadOnly) +
           Failed("twice.vac", kExists);
#endif
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  readOnly(locked, false);
  readOnly(ws.Folder(kPlugin) / "twice.vac", false);
#ifndef _WIN32
  EXPECT_TRUE(fs::is_symlink(ws.Folder(kPlugin) / "link.vac"));
  EXPECT_EQ(ReadText(outside / "link.vac.target"), "linked 12: link.vac");
#endif
  EXPECT_EQ(ws.Log(), RunLog(
#ifndef _WIN32
                         "10/2/3",
#else
                         "9/2/3",
#endif
                         moves,
                             "→ 不足無し/不足有り = 0/2\r\na.kvo\r\n  - hair.vac\r\n"
                             "b.kvo\r\n  - shoe.vac\r\n",
                         failed));
  Where expected = ledger.UnmovedBut();
  expected["Plugin/old.vac"] = "Work/old.vac";
  expected["Plugin/empty.vac"] = "Work/empty.vac";
  expected["Plugin/COM1.vac"] = "Work/COM1.vac";
  expected["Work/face.vac"] = "Plugin/face.vac";
  // No temporary file is left in either folder (the ledger fails on strays).
  EXPECT_EQ(ledger.Now(), expected);
  EXPECT_EQ(fs::file_size(ws.Folder(kPlugin) / "face.vac"), 70000u);
#ifdef _WIN32
  EXPECT_EQ(GetFileAttributesW((other / "old.vac").c_str()) & FILE_ATTRIBUTE_HIDDEN,
            static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN));
#else
  EXPECT_EQ(fs::status(other / "old.vac").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
#endif
}

// A copy to another file system into a folder so deep that its temporary's
// path ("kvoXXXX.tmp" is longer than the archive's name) passes 260 units:
// Windows then needs the temporary named in the "\\?\" form (Wine does not,
// but the form must still name the right file), and GetTempFileNameW, which
// refuses such a folder on Windows, is not used. The archive still moves.
TEST(RealSystem, ACopyAcrossFileSystemsIntoADeepFolder) {
  RunWorkspace ws;
  LayLists(ws);
  WorkElsewhere elsewhere(ws, "4m");
  if (!elsewhere.Ready()) GTEST_SKIP() << elsewhere.Why();
  const fs::path deep = FolderOfLength(elsewhere.Folder(), 252);
  ws.SetFolder(kWork, S(deep));
  Ledger ledger(ws);
  ledger.Move(kWork, deep);
  ledger.Put(kPlugin, "a.vac", 100000);  // 252 + "\a.vac": 258 units
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
  EXPECT_EQ(ws.Log(), RunLog("1/1/0", "1/0 0/0",
                             "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - face.vac\r\n"
                             "  - hair.vac\r\n"));
  EXPECT_EQ(ledger.Now(), (Where{{"Plugin/a.vac", "Work/a.vac"}}));
}

// The session ends while an archive is copied to another file system: the
// copy is given up at its next block, its temporary removed, the source
// left whole, and the run ends there, aborted, after the phase's counts.
TEST(RealSystem, AStopDuringACopyAcrossFileSystemsRemovesTheTemporary) {
  RunWorkspace ws;
  LayLists(ws);
  WorkElsewhere elsewhere(ws, "4m");
  if (!elsewhere.Ready()) GTEST_SKIP() << elsewhere.Why();
  Ledger ledger(ws);
  ledger.Move(kWork, elsewhere.Folder());
  ledger.Put(kPlugin, "old.vac", 200000);
  platform::StopFlag stop{false};
  ws.Fs().Add(Before(FsOp::kMoveNoReplace, S(ws.Folder(kPlugin)), 1, [&] { stop = true; }));
  EXPECT_EQ(ws.Run(RunMode::kExecute, nullptr, &stop), RunResult::kAborted);
  EXPECT_EQ(ws.Log(), u"■準備\r\n→ Plugin/Preset/Work = 1/1/0\r\n"
                      u"■不要ファイルの移動(Plugin -> Work)\r\n→ 成功/失敗 = 0/0\r\n");
  EXPECT_EQ(ledger.Now(), ledger.UnmovedBut());  // and no temporary in Work
}

// Runs an execute run on folders laid out by another process: the side
// lists in `root`, Plugin and Preset under it, Work at `work`.
int RunOn(const fs::path& root, const fs::path& work) {
  FaultyFileSystem system;
  system.SetExeFolder(S(root));
  MemoryPane pane;
  SettingsRecord record{};
  const fs::path folders[kFolderSlotCount] = {root / "Plugin", root / "Preset", work};
  for (int slot = 0; slot < kFolderSlotCount; ++slot) {
    const std::u16string path = S(folders[slot]);
    path.copy(record.paths[slot], kMaxPath - 1);
  }
  return static_cast<int>(RunReconciliation(system, pane, record, RunMode::kExecute));
}

#ifdef _WIN32
std::wstring Environment(const wchar_t* name) {
  wchar_t value[kMaxPath] = {};
  const DWORD n = GetEnvironmentVariableW(name, value, kMaxPath);
  return n > 0 && n < kMaxPath ? std::wstring(value) : std::wstring();
}
#endif

// The run ended (the user ends a program that shows no response) while it
// copies an archive to another file system: no archive may be left cut short
// under its final name, where the host application would load it and later
// runs would count it as present. The run goes on in a second process, which
// is ended as soon as anything shows up in its Work folder.
TEST(RealSystem, ARunEndedDuringACopyAcrossFileSystemsLeavesNoPartialArchive) {
#ifdef _WIN32
  // The second process: this test again, told where to run.
  const std::wstring childRoot = Environment(L"KVO_CHILD_ROOT");
  if (!childRoot.empty()) {
    RunOn(childRoot, Environment(L"KVO_CHILD_WORK"));
    return;
  }
#endif
  constexpr std::size_t kSize = 128u << 20;
  RunWorkspace ws;
  ws.IdList("1,face.vac\r\n");
  WorkElsewhere elsewhere(ws, "256m");
  if (!elsewhere.Ready()) GTEST_SKIP() << elsewhere.Why();
  const fs::path work = elsewhere.Folder();
  const fs::path source = ws.Folder(kPlugin) / "big.vac";  // unneeded: goes to Work
  WriteText(source, std::string(kSize, 'b'));

#ifdef _WIN32
  wchar_t self[kMaxPath] = {};
  GetModuleFileNameW(nullptr, self, kMaxPath);
  std::wstring command =
      L"\"" + std::wstring(self) +
      L"\" --gtest_filter=RealSystem.ARunEndedDuringACopyAcrossFileSystemsLeavesNoPartialArchive";
  SetEnvironmentVariableW(L"KVO_CHILD_ROOT", ws.Root().path().c_str());
  SetEnvironmentVariableW(L"KVO_CHILD_WORK", work.c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child = {};
  const BOOL started = CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &child);
  SetEnvironmentVariableW(L"KVO_CHILD_ROOT", nullptr);
  SetEnvironmentVariableW(L"KVO_CHILD_WORK", nullptr);
  ASSERT_TRUE(started);
  auto ended = [&] { return WaitForSingleObject(child.hProcess, 0) == WAIT_OBJECT_0; };
  auto end = [&] {
    TerminateProcess(child.hProcess, 1);
    WaitForSingleObject(child.hProcess, INFINITE);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  };
#else
  std::fflush(nullptr);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(RunOn(ws.Root().path(), work));
  int status = 0;
  auto ended = [&] { return ::waitpid(child, &status, WNOHANG) == child; };
  bool reaped = false;
  auto end = [&] {
    ::kill(child, SIGKILL);
    if (!reaped) ::waitpid(child, &status, 0);
  };
#endif
  std::string seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (seen.empty() && std::chrono::steady_clock::now() < deadline) {
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(work, ignored)) {
      seen = entry.path().filename().u8string();
      break;
    }
    if (seen.empty() && ended()) {
#ifndef _WIN32
      reaped = true;
#endif
      break;
    }
  }
  end();
  std::printf("first entry seen in Work: %s\n", seen.empty() ? "(none)" : seen.c_str());

  // Under its final name an archive is whole; the source goes only after.
  bool whole = false;
  for (const auto& entry : fs::directory_iterator(work)) {
    const std::u16string name = S(entry.path().filename());
    if (!platform::MatchesPattern(u"*.vac", name)) continue;
    EXPECT_EQ(fs::file_size(entry.path()), kSize) << U8(name) << " is cut short";
    whole = whole || fs::file_size(entry.path()) == kSize;
  }
  if (!whole) {
    ASSERT_TRUE(fs::exists(source));
    EXPECT_EQ(fs::file_size(source), kSize);
  }
}

#ifdef _WIN32
// Windows sharing: a file another program holds with no sharing can be
// neither read nor moved.
TEST(RealSystem, FilesHeldOpenWithoutSharing) {
  struct Case {
    const char* what;
    std::function<fs::path(RunWorkspace&)> held;
    RunResult result;
    std::u16string log;
    Where after;  // only the archives that moved
  };
  const Case cases[] = {
      // Left out it would send face.vac, which only a.kvo needs, to Work.
      {"a preset", [](RunWorkspace& ws) { return ws.Folder(kPreset) / "a.kvo"; },
       RunResult::kAborted, u"■準備\r\na.kvo: 読み込み失敗\r\n", {}},
      {"a needed source in Work", [](RunWorkspace& ws) { return ws.Folder(kWork) / "face.vac"; },
       RunResult::kCompleted,
       RunLog("1/1/2", "0/0 1/1", "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - face.vac\r\n", "",
              Failed("face.vac", kInUse)),
       {{"Work/hair.vac", "Plugin/hair.vac"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunWorkspace ws;
    LayLists(ws);
    Ledger ledger(ws);
    ledger.PutAll({{kPlugin, "base.vac"}, {kWork, "face.vac"}, {kWork, "hair.vac"}});
    const platform::FileHandle handle = platform::OpenForReadNoShare(S(c.held(ws)));
    ASSERT_NE(handle, nullptr);
    const RunResult result = ws.Run(RunMode::kExecute);
    platform::CloseFile(handle);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(ws.Log(), c.log);
    EXPECT_EQ(ledger.Now(), ledger.UnmovedBut(c.after));
  }
}
#endif

#ifndef _WIN32
// Permission bits, as an ordinary user meets them: a folder that cannot be
// written takes no archive and gives none away; a list that may not be read
// stops the run.
TEST(RealSystem, PermissionsOfAnOrdinaryUser) {
  if (::geteuid() == 0) GTEST_SKIP() << "permission bits do not bind root; run as another user";
  for (int lockedSlot : {kWork, kPlugin}) {
    SCOPED_TRACE(lockedSlot == kWork ? "Work" : "Plugin");
    RunWorkspace ws;
    LayLists(ws);
    Ledger ledger(ws);
    ledger.Put(kPlugin, "base.vac");   // needed, stays
    ledger.Put(kPlugin, "old.vac");    // unneeded: cannot leave / arrive
    ledger.Put(kWork, "hair.vac");     // needed: cannot leave / arrive
    ledger.Put(kWork, "spare.vac");    // unneeded, stays
    ASSERT_EQ(::chmod(ws.Folder(lockedSlot).c_str(), 0555), 0);
    // A move needs both folders writable: both phases fail either way.
    EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kCompleted);
    ::chmod(ws.Folder(lockedSlot).c_str(), 0755);
    EXPECT_EQ(ws.Log(), RunLog("2/1/2", "0/1 0/1",
                               "→ 不足無し/不足有り = 0/1\r\na.kvo\r\n  - face.vac\r\n"
                               "  - hair.vac\r\n",
                               Failed("old.vac", kDenied), Failed("hair.vac", kDenied)));
    EXPECT_EQ(ledger.Now(), ledger.UnmovedBut());
  }
  RunWorkspace ws;
  LayLists(ws);
  fs::permissions(ws.Root().path() / "ExList.txt", fs::perms::none);
  EXPECT_EQ(ws.Run(RunMode::kExecute), RunResult::kAborted);
  EXPECT_EQ(ws.Log(), u"■準備\r\nExList.txt: 読み込み失敗\r\n");
}
#endif

}  // namespace
}  // namespace kvo::test
