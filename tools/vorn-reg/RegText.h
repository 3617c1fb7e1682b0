#pragma once

#include "platform/Registry.h"

#include <QByteArray>
#include <QString>

#include <vector>

// REGEDIT4 text: "[ROOT\path]" key sections ("[-ROOT\path]" deletes), then
// value lines: "name"="text", "name"=dword:0000002a, "name"=hex:01,02 and
// "name"=hex(N):... for every other type, "name"=- deletes; @ is the default value.
namespace vorn::regtext
{

inline constexpr char Header[] = "REGEDIT4";

struct ValueLine {
    QByteArray name;
    bool remove = false;
    std::uint32_t type = reg::REG_NONE;
    QByteArray data;
};

struct KeySection {
    HKEY root = 0;
    QByteArray path; // below the root
    bool remove = false;
    std::vector<ValueLine> values;
};

struct Error {
    int line = 0;
    QString message;
};

// "HKEY_LOCAL_MACHINE\path" or "HKLM\path" into root and path; false for an unknown root.
bool splitRoot(const QByteArray& fullPath, HKEY& root, QByteArray& path);
QByteArray rootName(HKEY root);

// Parses the whole text; false with the first error when any line is bad.
bool parse(const QByteArray& text, std::vector<KeySection>& sections, Error& error);

// The section line of a key and the line of one value; false when the name
// cannot be written as REGEDIT4 text (it holds a line break).
bool formatSection(const QByteArray& fullPath, QByteArray& line);
bool formatValue(const RegValue& value, QByteArray& line);

} // namespace vorn::regtext
