#pragma once

#include <QDate>
#include <QString>

// One occurrence of another calendar's event on one local calendar day, as it goes into a row.
struct Occurrence {
    QDate date;
    int minutes = -1; // its start on that day in minutes; -1 for an all-day event
    QString time;     // HH:MM, empty for an all-day event
    QString plan;
    QString detail;

    // Of a repeating event: which occurrence it is (its start as the series makes it, see
    // Libical::OccurrenceKey), and the key of the RECURRENCE-ID of the override whose texts it
    // shows (empty: the series' own).
    QString recurrence;
    QString shownBy;
    bool thisAndFuture = false; // its texts come from an override of it and the later ones
    bool severalDays = false;   // it covers more than one local day
};
