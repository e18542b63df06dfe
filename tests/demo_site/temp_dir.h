#pragma once

#include <filesystem>

namespace melvara::tools::testing {

// A fresh directory under the system's temporary directory, removed with its contents
// on destruction.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace melvara::tools::testing
