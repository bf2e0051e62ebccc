#pragma once

#include "document/JournalReader.h"

#include <QByteArray>
#include <QString>

// A recovery journal on the command line: its header and its days in the dump form.
namespace BookJournal {

// {"book":PATH|null,"base":{...}|null,"days":[...]} on one line and a newline; days in the order
// they were journaled, every version of a day kept.
QByteArray Json(const JournalReader::Contents& contents);
// The line for stderr when the journal's tail was not whole; empty when it was.
QString DamageReport(const QString& path, const JournalReader::Contents& contents);

} // namespace BookJournal
