#include "demo_site/command_line.h"

#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <limits>

namespace melvara::tools {
namespace {

// A whole decimal number without sign, within max.
std::optional<std::size_t> ParseCount(const std::string& text, std::size_t max) {
    if (text.empty() || text.size() > 19) {
        return std::nullopt;
    }
    std::size_t value = 0;
    for (const char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)) == 0) {
            return std::nullopt;
        }
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    if (value > max) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<std::size_t> ParseByteSize(const std::string& text) {
    std::size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])) != 0) {
        ++digits;
    }
    std::string unit = text.substr(digits);
    for (char& c : unit) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    std::size_t multiplier = 0;
    if (unit.empty() || unit == "b") {
        multiplier = 1;
    } else if (unit == "k" || unit == "kib" || unit == "kb") {
        multiplier = 1024;
    } else if (unit == "m" || unit == "mib" || unit == "mb") {
        multiplier = 1024 * 1024;
    } else if (unit == "g" || unit == "gib" || unit == "gb") {
        multiplier = 1024 * 1024 * 1024;
    } else {
        return std::nullopt;
    }
    // Bodies are generated on the fly, but a size past 64 GiB is surely a typo.
    constexpr std::size_t kMax = std::size_t{64} * 1024 * 1024 * 1024;
    const auto number = ParseCount(text.substr(0, digits), kMax / multiplier);
    if (!number) {
        return std::nullopt;
    }
    return *number * multiplier;
}

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    ParsedCommandLine parsed;
    CommandLine& line = parsed.commandLine;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& option = arguments[i];
        if (option == "--help" || option == "-h") {
            line.help = true;
            continue;
        }
        if (option != "--port" && option != "--dir" && option != "--songs" && option != "--size") {
            parsed.error = "unknown argument: " + option;
            return parsed;
        }
        if (i + 1 >= arguments.size()) {
            parsed.error = option + " needs a value";
            return parsed;
        }
        const std::string& value = arguments[++i];
        if (option == "--port") {
            const auto port = ParseCount(value, 65535);
            if (!port) {
                parsed.error = "--port wants a number from 0 to 65535, not " + value;
                return parsed;
            }
            line.port = static_cast<int>(*port);
        } else if (option == "--dir") {
            if (value.empty()) {
                parsed.error = "--dir wants a directory";
                return parsed;
            }
            line.dir = value;
        } else if (option == "--songs") {
            line.songs = ParseCount(value, 100000);
            if (!line.songs) {
                parsed.error = "--songs wants a number from 0 to 100000, not " + value;
                return parsed;
            }
        } else {
            const auto size = ParseByteSize(value);
            if (!size) {
                parsed.error =
                    "--size wants a byte count such as 4096, 512KiB or 4MiB, not " + value;
                return parsed;
            }
            line.size = *size;
        }
    }
    return parsed;
}

std::filesystem::path DefaultCertificateDir() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
        return std::filesystem::path(runtime) / "melvara-demo-site";
    }
    return std::filesystem::path("/tmp") / ("melvara-demo-site-" + std::to_string(::getuid()));
}

std::string Usage() {
    return "usage: melvara-demo-site [--port N] [--dir DIR] [--songs N] [--size BYTES]\n"
           "Serves the demo music site over HTTPS on 127.0.0.1 until SIGINT or SIGTERM.\n"
           "  --port N      port to listen on (default 0: any free port)\n"
           "  --dir DIR     where the CA and server certificates are kept (default\n"
           "                $XDG_RUNTIME_DIR/melvara-demo-site or /tmp/melvara-demo-site-UID)\n"
           "  --songs N     serve N generated songs instead of the built-in catalogue\n"
           "  --size BYTES  MP3 size of generated songs, e.g. 4MiB (default 1MiB)\n"
           "Prints one line once listening: port=N playlist=URL ca=PATH\n";
}

}  // namespace melvara::tools
