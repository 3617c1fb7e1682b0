// Arbitrary text through the registry text parser of vorn-reg import, as it
// stands and as UTF-16LE with its mark, so the decoder and the UTF-16 value
// data are covered whatever the seed. What it accepts must come back the same
// when written out in either format (where the format can hold it) and read
// again.
#include "tools/vorn-reg/RegText.h"

#include <cstddef>
#include <cstdint>

using namespace vorn::regtext;

namespace
{

// Writes the sections in `format` (unless it cannot hold them) and reads
// them back.
void checkRoundTrip(const std::vector<KeySection>& sections, Format format)
{
    Writer writer(format);
    QString why;
    for (const auto& section : sections) {
        if (section.remove || !writer.addSection(rootName(section.root) + '\\' + section.path, why))
            return;
        for (const auto& value : section.values) {
            if (value.remove || !writer.addValue({ value.name, value.type, value.data }, why))
                return;
        }
    }
    std::vector<KeySection> again;
    Error error;
    if (!parse(writer.finish(), again, error) || again.size() != sections.size())
        __builtin_trap();
    for (std::size_t s = 0; s < sections.size(); ++s) {
        if (again[s].root != sections[s].root || again[s].values.size() != sections[s].values.size())
            __builtin_trap();
        for (std::size_t v = 0; v < sections[s].values.size(); ++v) {
            const auto& before = sections[s].values[v];
            const auto& after = again[s].values[v];
            if (after.name != before.name || after.type != before.type || after.data != before.data)
                __builtin_trap();
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), qsizetype(size));
    for (const QByteArray& input : { text, "\xFF\xFE" + text }) {
        std::vector<KeySection> sections;
        Error error;
        if (!parse(input, sections, error))
            continue;
        checkRoundTrip(sections, Format::Regedit4);
        checkRoundTrip(sections, Format::Version5);
    }
    return 0;
}
