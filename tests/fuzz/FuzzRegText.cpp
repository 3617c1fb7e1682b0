// Arbitrary text through the REGEDIT4 parser of vorn-reg import; what it
// accepts must come back the same when written out and read again.
#include "tools/vorn-reg/RegText.h"

#include <cstddef>
#include <cstdint>

using namespace vorn::regtext;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<KeySection> sections;
    Error error;
    if (!parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), sections, error))
        return 0;

    QByteArray text = QByteArray(Header) + "\n";
    for (const auto& section : sections) {
        QByteArray line;
        if (section.remove || !formatSection(rootName(section.root) + '\\' + section.path, line))
            return 0;
        text += '\n' + line + '\n';
        for (const auto& value : section.values) {
            if (value.remove || !formatValue({ value.name, value.type, value.data }, line))
                return 0;
            text += line + '\n';
        }
    }
    std::vector<KeySection> again;
    if (!parse(text, again, error) || again.size() != sections.size())
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
    return 0;
}
