#pragma once

// libnm for Qt code: GLib's headers use "signals" as a member name, which Qt
// defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <NetworkManager.h>
#pragma pop_macro("signals")
