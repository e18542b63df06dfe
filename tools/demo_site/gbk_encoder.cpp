#include "demo_site/gbk_encoder.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <stdexcept>

namespace melvara::tools {
namespace {

// Owns one iconv descriptor; iconv_open reports failure as (iconv_t)-1, never null.
class Converter {
  public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {
        if (handle_ == Invalid()) {
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
        }
    }
    ~Converter() { iconv_close(handle_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    iconv_t get() const { return handle_; }

  private:
    static iconv_t Invalid() { return reinterpret_cast<iconv_t>(static_cast<intptr_t>(-1)); }
    iconv_t handle_;
};

// Length of the UTF-8 sequence a lead byte starts; 1 for anything that cannot lead one.
std::size_t SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead <= 0xEF ? 3 : 1;
    }
    if (lead >= 0xC2) {
        return 2;
    }
    return 1;
}

}  // namespace

std::string EncodeGbk(std::string_view utf8) {
    Converter converter("GBK", "UTF-8");
    std::string out;
    out.reserve(utf8.size());
    std::array<char, 4096> buffer{};
    char* in = const_cast<char*>(utf8.data());
    std::size_t inLeft = utf8.size();
    while (inLeft > 0) {
        char* next = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t result = iconv(converter.get(), &in, &inLeft, &next, &outLeft);
        out.append(buffer.data(), static_cast<std::size_t>(next - buffer.data()));
        if (result != static_cast<std::size_t>(-1) || errno == E2BIG) {
            continue;
        }
        // EILSEQ or EINVAL: put '?' for the character and step over its bytes.
        out.push_back('?');
        std::size_t skip = SequenceLength(static_cast<unsigned char>(*in));
        for (std::size_t i = 1; i < skip && i < inLeft; ++i) {
            if ((static_cast<unsigned char>(in[i]) & 0xC0) != 0x80) {
                skip = i;
                break;
            }
        }
        skip = std::min(skip, inLeft);
        in += skip;
        inLeft -= skip;
    }
    return out;
}

}  // namespace melvara::tools
