#pragma once

#include "platform/core/OleDateTime.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Small text helpers shared by the book tool's commands.
namespace BookText {

// UTF-8 of text; a UTF-16 surrogate without its partner cannot be UTF-8 and becomes U+FFFD.
QByteArray ToUtf8(const QString& text);
// Appends one code point (at most U+10FFFF) as UTF-8.
void AppendCodePoint(QByteArray& out, char32_t cp);

// A cell's text on one line: each line break (CRLF, CR or LF) becomes a space.
QString OneLine(const QString& text);
// The lines of a multi-line text, whatever its line breaks.
QStringList Lines(const QString& text);

// The calendar day of a stored date as YYYY-MM-DD; empty when the date is not a valid one.
QString DayText(const COleDateTime& date);
// The stored value as the shortest decimal that reads back to the same bits, or for values
// that are not numbers: Infinity, -Infinity, NaN (the default quiet NaN) or 0x + 16 hex digits.
QByteArray DateValueText(double value);
// Reads what DateValueText writes (the raw-bits form for any value); false for anything else.
bool ParseDateValue(const QByteArray& text, double& value);
// Reads YYYY-MM-DD into a valid date at 00:00; false when it is not a calendar day.
bool ParseDayText(const QString& text, COleDateTime& date);

} // namespace BookText
