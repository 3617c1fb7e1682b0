#pragma once

#include <QCollator>
#include <QStringList>

// The locale's comparison of entry names. Under the bare "C" locale names
// still sort as words, since a byte order would put every capital letter
// before every small one.
QCollator entryNameCollator(Qt::CaseSensitivity sensitivity);

// Names kept in ascending order under a case-insensitive, locale-aware
// comparison, each name at most once (adding a name already present, in any
// letter case, changes nothing).
class SortedNameList
{
public:
    SortedNameList();

    void add(const QString& name);
    void remove(const QString& name);
    // Position of `name` under the list's comparison, or -1.
    qsizetype indexOf(const QString& name) const;

    qsizetype count() const { return names.size(); }
    bool isEmpty() const { return names.isEmpty(); }
    const QString& at(qsizetype index) const { return names.at(index); }
    const QStringList& items() const { return names; }
    void clear() { names.clear(); }

private:
    // First position whose name does not sort before `name`.
    qsizetype lowerBound(const QString& name) const;

    QCollator collator;
    QStringList names;
};
