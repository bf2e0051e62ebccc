#include "sheets/Paper.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct Entry {
    const char* name;
    const char* label;
    QPageSize::PageSizeId id;
    double width, height; // millimetres, for the sizes Qt does not name
};

// Qt names the JIS B sizes (its plain B5 and B6 are the ISO ones); the refills it does not.
const std::array<Entry, 7> kPapers = {{
    {"a4", "A4", QPageSize::A4, 0, 0},
    {"a5", "A5", QPageSize::A5, 0, 0},
    {"b5", "B5", QPageSize::JisB5, 0, 0},
    {"b6", "B6", QPageSize::JisB6, 0, 0},
    {"bible", "Bible", QPageSize::Custom, 95, 171},
    {"mini6", "Mini6", QPageSize::Custom, 80, 126},
    {"m5", "M5", QPageSize::Custom, 62, 105},
}};

QPageSize SizeOf(const Entry& e) {
    if (e.id != QPageSize::Custom)
        return QPageSize(e.id);
    return QPageSize(QSizeF(e.width, e.height), QPageSize::Millimeter, QString::fromLatin1(e.label),
                     QPageSize::ExactMatch);
}

const Entry* EntryOf(const QString& name) {
    for (const Entry& e : kPapers) {
        if (name == QLatin1String(e.name))
            return &e;
    }
    return nullptr;
}

} // namespace

namespace Paper {

QStringList Names() {
    QStringList names;
    for (const Entry& e : kPapers)
        names << QString::fromLatin1(e.name);
    return names;
}

std::optional<QPageSize> Find(const QString& name) {
    if (const Entry* e = EntryOf(name))
        return SizeOf(*e);
    return std::nullopt;
}

QString NameOf(const QPageSize& size) {
    const QSizeF mm = size.size(QPageSize::Millimeter);
    for (const Entry& e : kPapers) {
        const QSizeF own = SizeOf(e).size(QPageSize::Millimeter);
        // Within half a millimetre: a size set in points comes back rounded.
        if (std::abs(own.width() - mm.width()) < 0.5 && std::abs(own.height() - mm.height()) < 0.5)
            return QString::fromLatin1(e.name);
    }
    return QString();
}

QString Label(const QString& name) {
    const Entry* e = EntryOf(name);
    if (!e)
        return QString();
    const QSizeF mm = SizeOf(*e).size(QPageSize::Millimeter);
    return QStringLiteral("%1 (%2 × %3 mm)")
        .arg(QString::fromLatin1(e->label))
        .arg(mm.width())
        .arg(mm.height());
}

QPageLayout PageLayout(const QPageSize& size) {
    return QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
}

Style StyleFor(const QSizeF& page) {
    const double side = std::min(page.width(), page.height());
    Style style;
    // 7 points on the 62 mm of an M5 refill, growing to 10.5 on A4: below 7 points the strokes
    // of kanji run together on paper.
    style.points = std::clamp(7.0 + (side - 62.0) * 3.5 / 148.0, 7.0, 11.0);
    style.small = side < 100;
    const double edge = std::clamp(side * 0.05, 4.0, 12.0);
    // A refill's holes take the inner edge: the binding side keeps clear of them.
    const double binding = style.small ? edge + 5.0 : edge;
    style.margins = QMarginsF(binding, edge, edge, edge);
    return style;
}

} // namespace Paper
