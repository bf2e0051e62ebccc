#pragma once

#include <QString>
#include <optional>

// What we write into the events a book puts on a calendar, beyond what iCalendar itself says,
// and the small text rules the book and its events share.
namespace SyncProperties {

// Which part of a day an event is: "row", "heading" or "memo".
inline constexpr char kKind[] = "X-TAVRINO-KIND";
// A row's time text as typed ("9", "朝"), which DTSTART alone cannot give back.
inline constexpr char kTime[] = "X-TAVRINO-TIME";
// A row's place in its day, 1 to 10.
inline constexpr char kRow[] = "X-TAVRINO-ROW";

inline constexpr char kRowKind[] = "row";
inline constexpr char kHeadingKind[] = "heading";
inline constexpr char kMemoKind[] = "memo";

// Before the summary of the book's version of an event that both sides changed.
inline const QString kConflictMark = QStringLiteral("【競合】");
// Before a memo line that shows a calendar event which found no free row.
inline const QString kMemoLineMark = QStringLiteral("⇄ ");

// A new UID: random, so two books on one calendar never collide, and never ending like the
// UIDs export writes.
QString NewUid();
// What export writes: those events are listed, never placed, so an old export on a phone does
// not double every day.
bool IsExportUid(const QString& uid);
// The resource name of an item: its UID, with characters a path cannot hold replaced.
QString ResourceName(const QString& uid);

// Minutes after midnight when the text reads as a clock time: 9, 09, 9:30, 09:30, in full-width
// digits and colon too, with spaces around; nothing for 朝, ① or 25:00.
std::optional<int> ClockMinutes(const QString& time);

// A book's text as an iCalendar TEXT value: every line break LF.
QString ToEventText(const QString& text);
// An event's text as the book keeps it: every line break CRLF, as the planner's edit writes it.
QString ToBookText(const QString& text);

} // namespace SyncProperties
