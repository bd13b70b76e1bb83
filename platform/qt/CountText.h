#pragma once

#include <QString>

// "1 note", "2 notes": the text for one when there is one, the other with the number in it.
inline QString CountText(qint64 count, const QString& one, const QString& many)
{
    return count == 1 ? one : many.arg(count);
}
