#pragma once

#include <QByteArray>

// The text that generation g of the crash test's writer stores: "g;" repeated
// to a length that changes with g, so a torn or mixed write cannot look whole.
inline QByteArray generationText(int generation)
{
    const QByteArray unit = QByteArray::number(generation) + ';';
    return unit.repeated(200 + (generation % 7) * 150);
}
