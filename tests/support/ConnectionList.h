#pragma once

#include "platform/RemoteAccess.h"

#include <vector>

namespace vorn::test
{

// The connections `access` lists (up to eight), expecting the listing to succeed.
std::vector<RASCONN> connectionsOf(RemoteAccess& access);

} // namespace vorn::test
