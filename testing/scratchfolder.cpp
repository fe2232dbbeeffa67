#include "testing/scratchfolder.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <system_error>

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const char kSeparator = '\\';
#else
const char kSeparator = '/';
#endif

}  // namespace

ScratchFolder::ScratchFolder() {
  static std::atomic<unsigned> counter{0};
  std::error_code error;
  const fs::path base = fs::temp_directory_path(error);
  if (error) return;
  const auto stamp =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate =
        base / ("halyard-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    if (fs::create_directory(candidate, error)) {
      dir_ = candidate.string();
      return;
    }
  }
}

ScratchFolder::~ScratchFolder() {
  Remove();
}

std::string ScratchFolder::Path(const std::string& name) const {
  return dir_ + kSeparator + name;
}

void ScratchFolder::WriteFile(const std::string& name, const std::string& bytes) const {
  std::ofstream out(Path(name), std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ScratchFolder::ReadFile(const std::string& name) const {
  std::ifstream in(Path(name), std::ios::binary);
  if (!in) return "<missing>";
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool ScratchFolder::Exists(const std::string& name) const {
  std::ifstream in(Path(name), std::ios::binary);
  return static_cast<bool>(in);
}

bool ScratchFolder::Remove() {
  if (dir_.empty()) return true;
  std::error_code error;
  fs::remove_all(dir_, error);
  const bool gone = !error && !fs::exists(dir_, error);
  if (gone) dir_.clear();
  return gone;
}
