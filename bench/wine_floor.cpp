// The least any program must do, through Win32, for a check-only run on a
// benchmark workspace: list the three folders with FindFirstFileW (by the
// program's own patterns), read both lists and every listed preset whole
// (CreateFileW with no sharing, GetFileSize, ReadFile), by full paths. Run
// under the same Wine as the program, it is the floor the program's time is
// held against.
//
//   kvo_bench_wine_floor ROOT [--runs N]
//
// ROOT is a workspace of kvo_bench_gen (a Linux path is accepted under Wine).
// For each run one line: seconds=... presets=... bytes=... names=...
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::wstring DosPath(const std::wstring& path) {
  if (path.empty() || path[0] != L'/') return path;
  std::wstring dos = L"Z:" + path;
  for (wchar_t& c : dos) {
    if (c == L'/') c = L'\\';
  }
  return dos;
}

[[noreturn]] void Die(const std::wstring& what) {
  std::fprintf(stderr, "kvo_bench_wine_floor: %ls (error %lu)\n", what.c_str(), GetLastError());
  std::exit(1);
}

// Appends the names that match `pattern` in `folder`.
void List(const std::wstring& folder, const wchar_t* pattern, std::vector<std::wstring>& names) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\" + pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return;
    Die(L"cannot list " + folder);
  }
  do {
    names.emplace_back(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
}

std::size_t ReadWhole(const std::wstring& path, std::vector<char>& buffer) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) Die(L"cannot open " + path);
  const DWORD size = GetFileSize(file, nullptr);
  if (size == INVALID_FILE_SIZE) Die(L"cannot size " + path);
  if (buffer.size() < size) buffer.resize(2 * static_cast<std::size_t>(size));
  DWORD read = 0;
  if (size > 0 && (!ReadFile(file, buffer.data(), size, &read, nullptr) || read != size)) {
    Die(L"cannot read " + path);
  }
  CloseHandle(file);
  return size;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring root;
  int runs = 1;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--runs" && i + 1 < argc) {
      runs = _wtoi(argv[++i]);
    } else if (root.empty()) {
      root = DosPath(arg);
    } else {
      std::fprintf(stderr, "usage: kvo_bench_wine_floor ROOT [--runs N]\n");
      return 2;
    }
  }
  if (root.empty() || runs < 1) {
    std::fprintf(stderr, "usage: kvo_bench_wine_floor ROOT [--runs N]\n");
    return 2;
  }
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  for (int run = 0; run < runs; ++run) {
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    std::vector<char> buffer;
    std::size_t bytes = ReadWhole(root + L"\\lists\\ExList.txt", buffer);
    bytes += ReadWhole(root + L"\\lists\\IdList.txt", buffer);
    std::vector<std::wstring> plugin;
    std::vector<std::wstring> presets;
    std::vector<std::wstring> work;
    List(root + L"\\Plugin", L"*.vac", plugin);
    List(root + L"\\Preset", L"*.kvo", presets);
    List(root + L"\\Work", L"*.vac", work);
    const std::wstring folder = root + L"\\Preset\\";
    for (const std::wstring& name : presets) bytes += ReadWhole(folder + name, buffer);
    LARGE_INTEGER stop;
    QueryPerformanceCounter(&stop);
    const double seconds = static_cast<double>(stop.QuadPart - start.QuadPart) /
                           static_cast<double>(frequency.QuadPart);
    std::printf("seconds=%.3f presets=%zu bytes=%zu names=%zu\n", seconds, presets.size(), bytes,
                plugin.size() + presets.size() + work.size());
    std::fflush(stdout);
  }
  return 0;
}
