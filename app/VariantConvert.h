#pragma once

#include <QString>

#include <stdexcept>

class Variant;

// The conversions the wizard applies to stored values. A value that is
// missing (null) or cannot be converted raises EVariantError.
class EVariantError : public std::runtime_error
{
public:
    EVariantError()
        : std::runtime_error("Invalid variant type conversion")
    {
    }
};

qint32 VarToInt(const Variant& value);
QString VarToText(const Variant& value);
