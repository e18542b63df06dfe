#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace melvara::tools {

// melvara-demo-site [--port N] [--dir DIR] [--songs N] [--size BYTES]
struct CommandLine {
    int port = 0;
    std::filesystem::path dir;         // empty: DefaultCertificateDir()
    std::optional<std::size_t> songs;  // set: a generated catalogue of that many songs
    std::size_t size = 1024 * 1024;    // MP3 size of generated songs
    bool help = false;
};

// Parsed arguments, or the error message in error.
struct ParsedCommandLine {
    CommandLine commandLine;
    std::string error;
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);

// "4096", "64KiB", "4MiB", "4M", "1k"… (binary multiples); nullopt when malformed or huge.
std::optional<std::size_t> ParseByteSize(const std::string& text);

// $XDG_RUNTIME_DIR/melvara-demo-site, else /tmp/melvara-demo-site-UID.
std::filesystem::path DefaultCertificateDir();

std::string Usage();

}  // namespace melvara::tools
