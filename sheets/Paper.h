#pragma once

#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>

// The papers a planner is printed on, by the names the tool and the print dialog use, and how a
// page of any size is set: its margins, the size of its text and what small pages leave out.
namespace Paper {

// a4, a5, b5 and b6 (the JIS B sizes Japanese planners use, not the ISO ones), and the refills
// of ring planners: bible, mini6 and m5.
QStringList Names();
// The page of a name; none for a name not listed.
std::optional<QPageSize> Find(const QString& name);
// The name of a page of one of those sizes; empty for any other.
QString NameOf(const QPageSize& size);
// What the print dialog lists: the name as the paper is sold and its size in millimetres.
QString Label(const QString& name);

// The page as the device is asked for it: portrait, no margins of its own. The sheets keep
// their margins themselves, so a printer that cannot print to the edge changes nothing.
QPageLayout PageLayout(const QPageSize& size);

// How a page of a given size (millimetres) is printed.
struct Style {
    double points = 10; // the size of the text the sheets scale from
    QMarginsF margins;  // millimetres; left and right for a right-hand page
    bool small = false; // the refill sizes: less goes on each line
};
Style StyleFor(const QSizeF& pageMillimetres);

} // namespace Paper
