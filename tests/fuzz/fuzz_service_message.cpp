// The dial-up service's message parsers (requests and answers) on arbitrary bytes.
#include "platform/sim/DialupProtocol.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray line(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto request = vorn::sim::parseRequest(line);
    if (const auto* parsed = std::get_if<vorn::sim::Request>(&request)) {
        // What was accepted survives a round trip unchanged.
        const auto again = vorn::sim::parseRequest(vorn::sim::encodeRequest(*parsed).trimmed());
        const auto* back = std::get_if<vorn::sim::Request>(&again);
        if (back == nullptr || back->entry != parsed->entry || back->handle != parsed->handle || back->op != parsed->op)
            __builtin_trap();
    }
    (void)vorn::sim::parseServiceMessage(line);
    return 0;
}
