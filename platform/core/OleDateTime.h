#pragma once

#include <QtGlobal>

// The automation date: days since 30 December 1899 00:00 as a double whose fraction is the
// time of day, with a status. Stored in the book file exactly as held here.
class COleDateTime {
public:
    enum DateTimeStatus : quint32 { valid = 0, invalid = 1, null = 2 };

    // Calendar fields of a date, as the platform's system time structure holds them.
    struct Fields {
        int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
        bool operator==(const Fields&) const = default;
    };

    COleDateTime() = default;
    COleDateTime(double value, DateTimeStatus status = valid) : m_dt(value), m_status(status) {}
    COleDateTime(int year, int month, int day, int hour, int minute, int second);

    static COleDateTime GetCurrentTime();

    // Builds the date from six fields. Valid only when the fields survive the round trip to a
    // day count and back unchanged, so 30 February is invalid rather than 2 March.
    bool SetDateTime(int year, int month, int day, int hour, int minute, int second);
    // The calendar day at 00:00:00; invalid when this date is not valid.
    COleDateTime DatePart() const;

    // Calendar fields; false (and -1 in every field) when the date is not valid.
    bool GetFields(Fields& fields) const;

    DateTimeStatus GetStatus() const { return m_status; }
    double GetValue() const { return m_dt; }

    // Null equals null; an invalid date equals nothing, not even itself.
    bool operator==(const COleDateTime& other) const;
    bool operator!=(const COleDateTime& other) const { return !(*this == other); }
    // False unless both are valid; negative counts are mapped onto a continuous time line.
    bool operator<(const COleDateTime& other) const;
    // A day count's place on that continuous time line: a count v >= 0 stays v, a negative one
    // becomes 2 * ceil(v) - v. Whole counts keep their value.
    static double TimeLine(double value);

    // Conversions between calendar fields and the day count, as the platform does them.
    static bool FieldsToValue(const Fields& fields, double& value);
    static bool ValueToFields(double value, Fields& fields);

    double m_dt = 0.0;
    DateTimeStatus m_status = valid;
};
