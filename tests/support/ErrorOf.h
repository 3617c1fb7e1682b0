#pragma once

#include <string>

// The message of the Error that f raises, or "(no error)".
template <typename Error, typename F> std::string errorOf(F&& f)
{
    try {
        f();
    } catch (const Error& error) {
        return error.what();
    }
    return "(no error)";
}
