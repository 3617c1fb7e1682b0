#pragma once

#include "platform/Registry.h"

#include <QByteArray>
#include <QString>

#include <vector>

// Registry text as regedit reads and writes it, in two formats:
//   REGEDIT4: 8-bit text as it stands; hex(1), hex(2) and hex(7) data are the bytes of the hive's text.
//   "Windows Registry Editor Version 5.00": Unicode text, UTF-16LE with a byte-order mark as regedit
//   writes it (UTF-8 is read too); hex(1), hex(2) and hex(7) data are UTF-16LE.
// Both: "[ROOT\path]" key sections ("[-ROOT\path]" deletes), then value lines:
// "name"="text", "name"=dword:0000002a, "name"=hex:01,02 and "name"=hex(N):...
// for every other type, "name"=- deletes; @ is the default value. Hex lists
// go on over lines that end in a backslash; lines starting with ';' or '#'
// are comments, and a comment may follow a value's data after a ';'.
namespace vorn::regtext
{

enum class Format { Regedit4 = 4, Version5 = 5 };

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

// Parses the whole text, checking every name against the hive's limits;
// false with the first error when any line is bad.
bool parse(const QByteArray& text, std::vector<KeySection>& sections, Error& error);

// Writes registry text: header(), then per key its section line and value
// lines, then finish() gives the file's bytes in the format's encoding and
// line ends. A key or value that cannot be written exactly in the format is
// refused with the reason.
class Writer
{
public:
    explicit Writer(Format format);
    bool addSection(const QByteArray& fullPath, QString& why);
    bool addValue(const RegValue& value, QString& why);
    QByteArray finish() const;

private:
    Format format_;
    QByteArray text_; // UTF-8 (or the 8-bit bytes of REGEDIT4), LF line ends
    bool hasSection_ = false;
};

} // namespace vorn::regtext
