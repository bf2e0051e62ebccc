#pragma once

#include "platform/core/OleDateTime.h"

#include <QString>
#include <array>

// One day of the schedule: its date, a heading row, ten timed rows and a memo.
class CYoteiDay {
public:
    static constexpr int kRows = 10;

    CYoteiDay() = default;
    virtual ~CYoteiDay() = default;

    QString GetHeading() const { return m_heading; }
    void SetHeading(const QString& text) { m_heading = text; }
    QString GetHeadingDetail() const { return m_headingDetail; }
    void SetHeadingDetail(const QString& text) { m_headingDetail = text; }
    QString GetMemo() const { return m_dayMemo; }
    void SetMemo(const QString& text) { m_dayMemo = text; }
    // Rows 0 to 9; any other row raises CInvalidArgException.
    QString GetTime(int row) const;
    void SetTime(int row, const QString& text);
    QString GetPlan(int row) const;
    void SetPlan(int row, const QString& text);
    QString GetDetail(int row) const;
    void SetDetail(int row, const QString& text);

    bool operator==(const CYoteiDay& other) const;
    // The same texts, whatever the dates: what a user, a phone and the file see of a day. A null
    // day (one the book does not hold) is an empty one.
    static bool SameTexts(const CYoteiDay* a, const CYoteiDay* b);
    // Whether any of the day's texts is not empty.
    bool HasText() const;

    COleDateTime m_dayDate;
    QString m_heading;
    std::array<QString, kRows> m_times;
    std::array<QString, kRows> m_plans;
    std::array<QString, kRows> m_details;
    QString m_dayMemo;
    QString m_headingDetail;
};
