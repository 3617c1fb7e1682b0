#include "support/ConnectionList.h"

#include <gtest/gtest.h>

namespace vorn::test
{

std::vector<RASCONN> connectionsOf(RemoteAccess& access)
{
    std::vector<RASCONN> records(8);
    records[0].dwSize = sizeof(RASCONN);
    auto bytes = static_cast<std::uint32_t>(records.size() * sizeof(RASCONN));
    std::uint32_t count = 0;
    EXPECT_EQ(access.enumConnections(records.data(), &bytes, &count), 0U);
    records.resize(count);
    return records;
}

} // namespace vorn::test
