// POSIX implementation of the platform functions, for native tests, fuzzing
// and benchmarks. Paths are UTF-8 on disk and UTF-16 inside the tool.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/platform.h"

#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE (1 << 0)
#endif

namespace kvo {
namespace platform {
namespace {

// ---- UTF-8 <-> UTF-16 ---------------------------------------------------

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string ToUtf8(const std::u16string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(out, c);
  }
  return out;
}

// Decodes UTF-8; every byte that does not start a well-formed sequence
// becomes U+FFFD, as the Windows conversion does.
void Utf8ToUtf16(const unsigned char* s, std::size_t n, std::u16string& out) {
  // Names are mostly ASCII: copy the leading ASCII run in one go.
  std::size_t i = 0;
  while (i < n && s[i] < 0x80) ++i;
  out.resize(i);
  for (std::size_t k = 0; k < i; ++k) out[k] = static_cast<char16_t>(s[k]);
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      out += static_cast<char16_t>(b);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t c = 0;
    char32_t min = 0;
    if ((b & 0xE0) == 0xC0) { extra = 1; c = b & 0x1F; min = 0x80; }
    else if ((b & 0xF0) == 0xE0) { extra = 2; c = b & 0x0F; min = 0x800; }
    else if ((b & 0xF8) == 0xF0) { extra = 3; c = b & 0x07; min = 0x10000; }
    else { out += u'\uFFFD'; ++i; continue; }
    bool ok = i + static_cast<std::size_t>(extra) < n;
    for (int k = 1; ok && k <= extra; ++k) {
      if ((s[i + k] & 0xC0) != 0x80) ok = false; else c = (c << 6) | (s[i + k] & 0x3F);
    }
    if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      out += u'\uFFFD';
      ++i;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
}

std::u16string FromUtf8(const std::string& text) {
  std::u16string out;
  Utf8ToUtf16(reinterpret_cast<const unsigned char*>(text.data()), text.size(), out);
  return out;
}

int FdOf(FileHandle file) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(file)) - 1;
}

FileHandle HandleOf(int fd) {
  return reinterpret_cast<FileHandle>(static_cast<std::intptr_t>(fd) + 1);
}

std::u16string& ExeDirectoryOverride() {
  static std::u16string folder;
  return folder;
}

bool IsSeparator(char16_t c) { return c == u'/'; }

// The path rules only ever join; the result must fit MAX_PATH with its NUL.
std::u16string Joined(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty()) return name;
  if (name.empty()) return folder;
  std::u16string out = folder;
  if (!IsSeparator(out.back())) out += u'/';
  std::size_t skip = 0;
  while (skip < name.size() && IsSeparator(name[skip])) ++skip;
  out.append(name, skip, std::u16string::npos);
  return out;
}

// Case folding for the name order: ASCII, Latin-1, Latin Extended-A, Greek,
// Cyrillic and full-width Latin letters.
inline char16_t Fold(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 0x20) : c;
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x100 && c <= 0x17F) {
    const bool evenUpper = (c <= 0x137 && c != 0x130 && c != 0x131) || (c >= 0x14A && c <= 0x177);
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (evenUpper && (c % 2 == 0)) return static_cast<char16_t>(c + 1);
    if (oddUpper && (c % 2 == 1)) return static_cast<char16_t>(c + 1);
    return c;
  }
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
  if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
  if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<char16_t>(c + 0x20);
  return c;
}

// Names the locale's character set: the part after '.' of LC_ALL, LC_CTYPE
// or LANG (the first one set); UTF-8 when none names one.
std::string LocaleCharset() {
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value == nullptr || *value == 0) continue;
    std::string locale(value);
    std::size_t dot = locale.find('.');
    if (dot == std::string::npos) return "UTF-8";
    std::string charset = locale.substr(dot + 1);
    std::size_t at = charset.find('@');
    if (at != std::string::npos) charset.resize(at);
    return charset.empty() ? "UTF-8" : charset;
  }
  return "UTF-8";
}

bool IsUtf8Name(const std::string& charset) {
  std::string lower;
  for (char c : charset) {
    if (c != '-' && c != '_') lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  return lower == "utf8";
}

// Converts with iconv, one replacement character per byte it cannot decode.
void IconvToUtf16(iconv_t cd, const char* bytes, std::size_t length, std::u16string& out) {
  out.clear();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char16_t units[512];
  char* in = const_cast<char*>(bytes);
  std::size_t inLeft = length;
  while (inLeft > 0) {
    char* outPtr = reinterpret_cast<char*>(units);
    std::size_t outLeft = sizeof units;
    std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(units, (sizeof units - outLeft) / sizeof(char16_t));
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // Invalid or truncated sequence: replace one byte and go on.
      out += u'\uFFFD';
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
}

// Owns a file descriptor or a folder stream and closes it on every way out,
// running out of memory included.
template <typename T, auto CloseFn, T kNone>
class Owned {
 public:
  explicit Owned(T handle) : handle_(handle) {}
  ~Owned() {
    if (handle_ != kNone) CloseFn(handle_);
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  T get() const { return handle_; }
  // Gives the handle up without closing it.
  T release() {
    T handle = handle_;
    handle_ = kNone;
    return handle;
  }
  // Closes it now; false when closing reports an error.
  bool Close() { return CloseFn(release()) == 0; }

 private:
  T handle_;
};
using Fd = Owned<int, ::close, -1>;
using Dir = Owned<DIR*, ::closedir, nullptr>;

}  // namespace

// ---- files ---------------------------------------------------------------

FileHandle OpenForReadNoShare(const std::u16string& path, FileStatus* status) {
  FileStatus ignored;
  FileStatus& why = status != nullptr ? *status : ignored;
  // POSIX has no share modes; a plain read-only open is the closest.
  const std::string name = ToUtf8(path);
  Fd fd(::open(name.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) {
    const int error = errno;
    struct stat st;
    if (error == ENOENT || error == ENOTDIR) {
      why = FileStatus::kMissing;
    } else if (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      why = FileStatus::kFolder;  // e.g. a folder we may not read
    } else {
      why = FileStatus::kUnreadable;
    }
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) {
    why = FileStatus::kUnreadable;
    return nullptr;
  }
  // A folder cannot be opened as a file on Windows either.
  if (S_ISDIR(st.st_mode)) {
    why = FileStatus::kFolder;
    return nullptr;
  }
  why = FileStatus::kRead;
  return HandleOf(fd.release());
}

bool FileSize32(FileHandle file, std::uint32_t* size) {
  struct stat st;
  if (::fstat(FdOf(file), &st) != 0) return false;
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > 0xFFFFFFFEull) return false;
  *size = static_cast<std::uint32_t>(st.st_size);
  return true;
}

bool ReadExact(FileHandle file, void* buffer, std::uint32_t size) {
  char* p = static_cast<char*>(buffer);
  std::size_t left = size;
  while (left > 0) {
    ssize_t n = ::read(FdOf(file), p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

void CloseFile(FileHandle file) {
  if (file != nullptr) ::close(FdOf(file));
}

// ---- paths and folders -----------------------------------------------------

std::u16string ExePath() {
  char buffer[4096];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::u16string();
  return FromUtf8(std::string(buffer, static_cast<std::size_t>(n)));
}

std::u16string ExeDirectory() {
  if (!ExeDirectoryOverride().empty()) return ExeDirectoryOverride();
  std::u16string path = ExePath();
  std::size_t slash = path.find_last_of(u'/');
  if (slash == std::u16string::npos) return std::u16string();
  return path.substr(0, slash == 0 ? 1 : slash);
}

void OverrideExeDirectory(const std::u16string& folder) { ExeDirectoryOverride() = folder; }

bool CombinePath(const std::u16string& folder, const std::u16string& name, std::u16string& out) {
  std::u16string joined = Joined(folder, name);
  if (joined.size() + 1 > kMaxPath) return false;
  out = std::move(joined);
  return true;
}

bool AppendPath(std::u16string& path, const std::u16string& more) {
  std::u16string joined = Joined(path, more);
  if (joined.size() + 1 > kMaxPath) return false;
  path = std::move(joined);
  return true;
}

bool ResolveAgainst(const std::u16string& start, const std::u16string& field,
                    std::u16string& out) {
  out.clear();
  if (field.empty()) return true;
  std::u16string resolved;
  if (IsSeparator(field[0])) {
    resolved = field;
  } else {
    if (start.empty()) return false;
    resolved = Joined(start, field);
  }
  if (resolved.size() + 1 > kMaxPath) return false;
  out = std::move(resolved);
  return true;
}

bool IsDirectory(const std::u16string& path) {
  if (path.empty()) return false;
  struct stat st;
  return ::stat(ToUtf8(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

ListStatus FindFiles(const std::u16string& searchPath, std::vector<std::u16string>& names) {
  std::size_t slash = searchPath.find_last_of(u'/');
  std::u16string folder = slash == std::u16string::npos ? u"." : searchPath.substr(0, slash + 1);
  std::u16string pattern =
      slash == std::u16string::npos ? searchPath : searchPath.substr(slash + 1);
  // The caller has seen that the folder exists: failing to open it leaves
  // its contents unknown, which is not the same as an empty folder.
  Dir dir(::opendir(ToUtf8(folder).c_str()));
  if (dir.get() == nullptr) return ListStatus::kFailed;
  std::u16string name;
  for (;;) {
    errno = 0;
    struct dirent* entry = ::readdir(dir.get());
    if (entry == nullptr) break;
    const char* raw = entry->d_name;
    if (std::strcmp(raw, ".") == 0 || std::strcmp(raw, "..") == 0) continue;
    Utf8ToUtf16(reinterpret_cast<const unsigned char*>(raw), std::strlen(raw), name);
    if (MatchesPattern(pattern, name)) names.push_back(name);
  }
  // readdir ends with errno untouched at the end of the folder.
  return errno == 0 ? ListStatus::kListed : ListStatus::kFailed;
}

bool SetCurrentDir(const std::u16string& path) { return ::chdir(ToUtf8(path).c_str()) == 0; }

std::u16string CurrentDir() {
  char buffer[4096];
  if (::getcwd(buffer, sizeof buffer) == nullptr) return std::u16string();
  return FromUtf8(buffer);
}

namespace {

// Copies `from` into a new temporary file in the destination's folder, makes
// it durable, then gives it its final name without replacing anything. The
// source is removed only once the copy is complete under its final name.
bool CopyAcrossFilesystems(const std::string& from, const std::string& to) {
  Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) return false;
  struct stat st;
  if (::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::size_t slash = to.find_last_of('/');
  std::string folder = slash == std::string::npos ? std::string(".") : to.substr(0, slash);
  std::string temp = folder + "/.kvo-move-XXXXXX";
  Fd out(::mkstemp(&temp[0]));
  if (out.get() < 0) return false;
  bool ok = true;
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(in.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) { ok = false; break; }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = ::write(out.get(), buffer + done, static_cast<std::size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) { ok = false; break; }
      done += w;
    }
    if (!ok) break;
  }
  in.Close();
  if (ok) ::fchmod(out.get(), st.st_mode & 07777);
  if (ok && ::fsync(out.get()) != 0) ok = false;
  if (!out.Close()) ok = false;
  // link() never replaces an existing name.
  if (ok && ::link(temp.c_str(), to.c_str()) != 0) ok = false;
  ::unlink(temp.c_str());
  if (!ok) return false;
  if (::unlink(from.c_str()) != 0) {
    // The source could not be removed: undo, so the archive exists once.
    ::unlink(to.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool MoveNoReplace(const std::u16string& from, const std::u16string& to) {
  const std::string source = ToUtf8(from);
  const std::string destination = ToUtf8(to);
  if (::syscall(SYS_renameat2, AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(),
                RENAME_NOREPLACE) == 0) {
    return true;
  }
  const int error = errno;
  if (error == EXDEV) return CopyAcrossFilesystems(source, destination);
  if (error != EINVAL && error != ENOSYS) return false;
  // The filesystem refuses the no-replace flag. A file can still be moved
  // safely: link() fails when the destination exists.
  struct stat st;
  if (::lstat(source.c_str(), &st) != 0) return false;
  if (S_ISDIR(st.st_mode)) {
    // Folders cannot be linked; check, then rename. Not atomic, but only a
    // folder appearing in between could be hit, and rename() refuses to
    // replace a non-empty folder.
    struct stat existing;
    if (::lstat(destination.c_str(), &existing) == 0 || errno != ENOENT) return false;
    return ::rename(source.c_str(), destination.c_str()) == 0;
  }
  if (::link(source.c_str(), destination.c_str()) != 0) {
    if (errno == EXDEV) return CopyAcrossFilesystems(source, destination);
    return false;
  }
  if (::unlink(source.c_str()) != 0) {
    ::unlink(destination.c_str());
    return false;
  }
  return true;
}

// ---- text ------------------------------------------------------------------

int CompareNames(const char16_t* a, const char16_t* b) {
  // Names compared in a set mostly share a long prefix: equal units need no
  // folding (and only equal units can both be the terminator).
  for (;; ++a, ++b) {
    const char16_t ca = *a;
    const char16_t cb = *b;
    if (ca == cb) {
      if (ca == 0) return 0;
      continue;
    }
    const char16_t x = Fold(ca);
    const char16_t y = Fold(cb);
    if (x != y) return x < y ? -1 : 1;
  }
}

// Folding as it compares is as cheap as comparing keys would be: no key.
void MakeNameKey(const char16_t*, std::size_t, std::string& key) { key.clear(); }

int CompareKeyed(std::string_view, const std::u16string& a, std::string_view,
                 const std::u16string& b) {
  return CompareNames(a.c_str(), b.c_str());
}

bool AnsiToUtf16(const char* bytes, std::size_t length, std::u16string& out) {
  static const std::string charset = LocaleCharset();
  static const bool utf8 = IsUtf8Name(charset);
  if (utf8) {
    Utf8ToUtf16(reinterpret_cast<const unsigned char*>(bytes), length, out);
  } else {
    static iconv_t cd = iconv_open("UTF-16LE", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      Utf8ToUtf16(reinterpret_cast<const unsigned char*>(bytes), length, out);
    } else {
      IconvToUtf16(cd, bytes, length, out);
    }
  }
  return out.size() + 1 <= kMaxPath;
}

int FormatLine(char16_t* buffer, const char16_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::size_t n = 0;
  const std::size_t limit = kLineBufferUnits - 1;
  auto put = [&](char16_t c) {
    if (n < limit) buffer[n++] = c;
  };
  for (const char16_t* f = format; *f; ++f) {
    if (*f != u'%') {
      put(*f);
      continue;
    }
    ++f;
    if (*f == u's') {
      for (const char16_t* s = va_arg(args, const char16_t*); *s; ++s) put(*s);
    } else if (*f == u'd') {
      char digits[16];
      std::snprintf(digits, sizeof digits, "%d", va_arg(args, int));
      for (const char* d = digits; *d; ++d) put(static_cast<char16_t>(*d));
    } else if (*f == u'%') {
      put(u'%');
    } else {
      if (*f == 0) break;
      put(u'%');
      put(*f);
    }
  }
  va_end(args);
  buffer[n] = 0;
  return static_cast<int>(n);
}

}  // namespace platform
}  // namespace kvo
