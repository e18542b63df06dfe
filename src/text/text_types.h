#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace melvara {

// Text: bytes in code page 936 (GBK); a byte of 0x80 or above starts a two-byte
// character. Inside the program every text is held this way; conversions happen
// only at the edges (GUI, file system, network).
using Text = std::string;

// Bytes: any byte buffer, zero bytes allowed (response bodies, files).
using Bytes = std::vector<std::uint8_t>;

// Wide text: Bytes holding UTF-16LE code units, two bytes each.
using WideText = Bytes;

}  // namespace melvara
