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
};
