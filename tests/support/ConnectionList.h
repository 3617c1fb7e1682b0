#pragma once

#include "platform/RemoteAccess.h"

#include <gtest/gtest.h>

#include <vector>

namespace vorn::test
{

// The connections `access` lists (up to eight), expecting the listing to succeed.
inline std::vector<RASCONN> connectionsOf(RemoteAccess& access)
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
