#include "platform/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <system_error>

#include "platform/codepage.h"

namespace melvara::platform {

namespace {

// The UTF-8 form the operating system takes, or "" for a path it could not
// take whole (empty, or holding a zero byte, which would cut it short).
std::string ToOsPath(std::string_view gbkPath) {
    if (gbkPath.empty() || gbkPath.find('\0') != std::string_view::npos)
        return std::string();
    return GbkToUtf8(gbkPath);
}

class UniqueFd {
  public:
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Close(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int Get() const { return fd_; }
    bool Close() {
        if (fd_ < 0)
            return true;
        const int fd = fd_;
        fd_ = -1;
        return close(fd) == 0;
    }

  private:
    int fd_;
};

// Removes the temporary file unless it has been renamed into place.
class TemporaryFileGuard {
  public:
    explicit TemporaryFileGuard(std::string path) : path_(std::move(path)) {}
    ~TemporaryFileGuard() {
        if (!path_.empty())
            unlink(path_.c_str());
    }
    TemporaryFileGuard(const TemporaryFileGuard&) = delete;
    TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

    void Release() { path_.clear(); }

  private:
    std::string path_;
};

std::string RandomSuffix() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    char buffer[17];
    std::snprintf(buffer, sizeof(buffer), "%016llx", static_cast<unsigned long long>(generator()));
    return buffer;
}

// Creates a new file beside the target that no one else has opened; -1 on failure.
int CreateTemporary(const std::string& folder, std::string& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        path = folder + ".melvara-" + RandomSuffix() + ".tmp";
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool WriteAll(int fd, const Bytes& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

int PathIsDirectory(std::string_view gbkPath) {
    const std::string path = ToOsPath(gbkPath);
    struct stat info {};
    if (path.empty() || stat(path.c_str(), &info) != 0)
        return 0;
    return S_ISDIR(info.st_mode) ? kFileAttributeDirectory : 0;
}

bool MakeSureDirectoryPathExists(std::string_view gbkPath) {
    const std::size_t lastSlash = gbkPath.rfind('/');
    if (lastSlash == std::string_view::npos)
        return true;  // nothing to create
    const std::string folder = ToOsPath(gbkPath.substr(0, lastSlash + 1));
    if (folder.empty())
        return false;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return std::filesystem::is_directory(folder, error);
}

bool ReplaceFileContents(std::string_view gbkPath, const Bytes& bytes) {
    const std::string target = ToOsPath(gbkPath);
    if (target.empty() || target.back() == '/')
        return false;
    const std::size_t lastSlash = target.rfind('/');
    const std::string folder =
        lastSlash == std::string::npos ? std::string() : target.substr(0, lastSlash + 1);

    std::string temporaryPath;
    UniqueFd file(CreateTemporary(folder, temporaryPath));
    if (file.Get() < 0)
        return false;
    TemporaryFileGuard guard(temporaryPath);
    if (!WriteAll(file.Get(), bytes))
        return false;
    if (!file.Close())
        return false;
    if (rename(temporaryPath.c_str(), target.c_str()) != 0)
        return false;
    guard.Release();
    return true;
}

bool SetCurrentDirectory(std::string_view gbkPath) {
    const std::string path = ToOsPath(gbkPath);
    return !path.empty() && chdir(path.c_str()) == 0;
}

Text RunDirectory() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || !executable.has_parent_path())
        return ".";
    std::string folder = executable.parent_path().string();
    while (!folder.empty() && folder.back() == '/')
        folder.pop_back();  // "/" itself gives ""
    return Utf8ToGbk(folder);
}

}  // namespace melvara::platform
