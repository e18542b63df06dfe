#include "app/directories.h"

#include "platform/file_system.h"

namespace melvara::app {

bool IsDirectory(const Text& path) {
    return platform::PathIsDirectory(path) == platform::kFileAttributeDirectory;
}

bool EnsureDirectory(const Text& path) {
    // '/' is never the second byte of a GBK character, so the last byte decides.
    Text directory = path;
    if (directory.empty() || directory.back() != '/') {
        directory += '/';
    }
    return platform::MakeSureDirectoryPathExists(directory);
}

}  // namespace melvara::app
