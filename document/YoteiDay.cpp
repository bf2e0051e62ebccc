#include "document/YoteiDay.h"

#include "platform/core/Exceptions.h"

#include <algorithm>

#include <cstring>

namespace {
void CheckRow(int row) {
    if (row < 0 || row >= CYoteiDay::kRows)
        throw CInvalidArgException();
}
} // namespace

QString CYoteiDay::GetTime(int row) const {
    CheckRow(row);
    return m_times[row];
}

void CYoteiDay::SetTime(int row, const QString& text) {
    CheckRow(row);
    m_times[row] = text;
}

QString CYoteiDay::GetPlan(int row) const {
    CheckRow(row);
    return m_plans[row];
}

void CYoteiDay::SetPlan(int row, const QString& text) {
    CheckRow(row);
    m_plans[row] = text;
}

QString CYoteiDay::GetDetail(int row) const {
    CheckRow(row);
    return m_details[row];
}

void CYoteiDay::SetDetail(int row, const QString& text) {
    CheckRow(row);
    m_details[row] = text;
}

bool CYoteiDay::SameTexts(const CYoteiDay* a, const CYoteiDay* b) {
    static const CYoteiDay empty;
    const CYoteiDay& x = a ? *a : empty;
    const CYoteiDay& y = b ? *b : empty;
    return x.m_heading == y.m_heading && x.m_headingDetail == y.m_headingDetail &&
           x.m_times == y.m_times && x.m_plans == y.m_plans && x.m_details == y.m_details &&
           x.m_dayMemo == y.m_dayMemo;
}

bool CYoteiDay::operator==(const CYoteiDay& other) const {
    // Compares what the file holds, the date bit for bit.
    return m_dayDate.m_status == other.m_dayDate.m_status &&
           std::memcmp(&m_dayDate.m_dt, &other.m_dayDate.m_dt, sizeof(double)) == 0 &&
           SameTexts(this, &other);
}

bool CYoteiDay::HasText() const {
    const auto any = [](const std::array<QString, kRows>& texts) {
        return std::any_of(texts.begin(), texts.end(),
                           [](const QString& t) { return !t.isEmpty(); });
    };
    return !m_heading.isEmpty() || !m_headingDetail.isEmpty() || !m_dayMemo.isEmpty() ||
           any(m_times) || any(m_plans) || any(m_details);
}
