#include "app/SortedNameList.h"

#include <algorithm>

QCollator entryNameCollator(Qt::CaseSensitivity sensitivity)
{
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setCaseSensitivity(sensitivity);
    return collator;
}

SortedNameList::SortedNameList()
    : collator(entryNameCollator(Qt::CaseInsensitive))
{
}

qsizetype SortedNameList::lowerBound(const QString& name) const
{
    const auto it = std::lower_bound(names.cbegin(), names.cend(), name,
        [this](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
    return it - names.cbegin();
}

qsizetype SortedNameList::indexOf(const QString& name) const
{
    const qsizetype at = lowerBound(name);
    return at < names.size() && collator.compare(names.at(at), name) == 0 ? at : -1;
}

void SortedNameList::add(const QString& name)
{
    const qsizetype at = lowerBound(name);
    if (at < names.size() && collator.compare(names.at(at), name) == 0)
        return;
    names.insert(at, name);
}

void SortedNameList::remove(const QString& name)
{
    const qsizetype at = indexOf(name);
    if (at >= 0)
        names.removeAt(at);
}
