// Registry text as vorn-reg import reads it: REGEDIT4 and Version 5.00, 8-bit,
// UTF-8 or UTF-16LE. Every input is also tried as UTF-16LE with its mark, so
// the decoder and the UTF-16 value data are covered whatever the seed.
#include "tools/vorn-reg/RegText.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& input : { text, "\xFF\xFE" + text }) {
        std::vector<vorn::regtext::KeySection> sections;
        vorn::regtext::Error error;
        vorn::regtext::parse(input, sections, error);
    }
    return 0;
}
