// The simulated service's phonebook parser on arbitrary bytes.
#include "platform/sim/Phonebook.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto book = vorn::sim::parsePhonebook(text);
    for (const auto& entry : book.entries) {
        // Every entry that survives is one the service can serve.
        if (entry.name.trimmed().isEmpty() || entry.outcomes.isEmpty() || entry.stepDelayMs < 0)
            __builtin_trap();
        (void)entry.outcome(1000);
        (void)book.find(entry.name.toUpper());
    }
    return 0;
}
