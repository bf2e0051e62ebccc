#pragma once

#include "document/BookFile.h"

#include <QString>

namespace BookCheck {

// The summary `check` prints for a book that was read whole: one fact a line, each list of
// records under its heading line, records numbered from 1 in file order.
QString Summary(const DayList& days, qint64 trailingBytes);

} // namespace BookCheck
