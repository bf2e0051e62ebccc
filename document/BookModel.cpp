#include "document/BookModel.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::size_t kNone = std::numeric_limits<std::size_t>::max();

// A record takes part in ordering when its date is valid and has a place on the time line:
// only such a record can equal a valid date or come after one.
bool KeyOf(const COleDateTime& date, double& key) {
    if (date.m_status != COleDateTime::valid)
        return false;
    key = COleDateTime::TimeLine(date.m_dt);
    return !std::isnan(key);
}

} // namespace

CBookModel::CBookModel(CBookModel&& other) noexcept {
    *this = std::move(other);
}

CBookModel& CBookModel::operator=(CBookModel&& other) noexcept {
    if (this != &other) {
        m_list = std::move(other.m_list);
        m_inOrder = other.m_inOrder;
        m_built = other.m_built;
        m_keys = std::move(other.m_keys);
        m_positions = std::move(other.m_positions);
        m_laterMin = std::move(other.m_laterMin);
        other.clear();
    }
    return *this;
}

CBookModel& CBookModel::operator=(DayList days) {
    m_list = std::move(days);
    Reindex();
    return *this;
}

CBookModel::operator DayList() && {
    DayList days = std::move(m_list);
    clear();
    return days;
}

void CBookModel::clear() {
    m_list.clear();
    Reindex();
}

void CBookModel::Reindex() {
    m_inOrder = true;
    m_built = true;
    m_keys.clear();
    m_positions.clear();
    m_laterMin.clear();
    m_keys.reserve(m_list.size());
    for (const auto& day : m_list) {
        double key = 0;
        if (!KeyOf(day->m_dayDate, key) || (!m_keys.empty() && !(m_keys.back() < key))) {
            m_inOrder = false;
            m_built = false;
            m_keys.clear();
            m_keys.shrink_to_fit();
            return;
        }
        m_keys.push_back(key);
    }
}

void CBookModel::push_back(std::unique_ptr<CYoteiDay> day) {
    double key = 0;
    const bool keyed = KeyOf(day->m_dayDate, key);
    m_list.push_back(std::move(day));
    if (m_inOrder && keyed && (m_keys.empty() || m_keys.back() < key)) {
        m_keys.push_back(key);
        return;
    }
    // A read appends many records: the index of a list out of order is built once, when it is
    // first asked for.
    m_inOrder = false;
    m_built = false;
}

void CBookModel::BuildScatteredIndex() const {
    std::vector<std::pair<double, std::uint32_t>> entries;
    entries.reserve(m_list.size());
    for (std::size_t i = 0; i < m_list.size(); ++i) {
        double key = 0;
        if (KeyOf(m_list[i]->m_dayDate, key))
            entries.emplace_back(key, std::uint32_t(i));
    }
    std::sort(entries.begin(), entries.end());
    m_keys.resize(entries.size());
    m_positions.resize(entries.size());
    for (std::size_t j = 0; j < entries.size(); ++j) {
        m_keys[j] = entries[j].first;
        m_positions[j] = entries[j].second;
    }
    m_laterMin.resize(entries.size());
    std::uint32_t least = std::numeric_limits<std::uint32_t>::max();
    for (std::size_t j = entries.size(); j-- > 0;)
        m_laterMin[j] = least = std::min(least, m_positions[j]);
    m_built = true;
}

std::size_t CBookModel::LowerBound(double key) const {
    return std::size_t(std::lower_bound(m_keys.begin(), m_keys.end(), key) - m_keys.begin());
}

std::size_t CBookModel::UpperBound(double key) const {
    return std::size_t(std::upper_bound(m_keys.begin(), m_keys.end(), key) - m_keys.begin());
}

std::size_t CBookModel::PositionAt(std::size_t entry) const {
    return m_inOrder ? entry : m_positions[entry];
}

std::size_t CBookModel::FirstEqual(double key, double value) const {
    // Entries of one key stand in list order, so the first whose date is the value is the one.
    for (std::size_t j = LowerBound(key); j < m_keys.size() && m_keys[j] == key; ++j) {
        const std::size_t pos = PositionAt(j);
        if (m_list[pos]->m_dayDate.m_dt == value)
            return pos;
    }
    return kNone;
}

const CYoteiDay* CBookModel::Find(const COleDateTime& date) const {
    const COleDateTime day = date.DatePart();
    if (day.m_status != COleDateTime::valid)
        return nullptr;
    if (!m_built)
        BuildScatteredIndex();
    // A whole day count is its own place on the time line.
    const std::size_t pos = FirstEqual(day.m_dt, day.m_dt);
    return pos == kNone ? nullptr : m_list[pos].get();
}

CBookModel::Position CBookModel::FindPosition(const COleDateTime& date) const {
    // An invalid date equals nothing and comes after nothing.
    if (date.m_status == COleDateTime::invalid)
        return {Position::append, m_list.size()};
    double key = 0;
    // Null dates and dates off the time line are never the planner's; they are walked for.
    if (!KeyOf(date, key))
        return LinearFind(date);
    if (!m_built)
        BuildScatteredIndex();
    const std::size_t equal = FirstEqual(key, date.m_dt);
    const std::size_t after = UpperBound(key);
    std::size_t later = kNone;
    if (after < m_keys.size())
        later = m_inOrder ? after : m_laterMin[after];
    if (equal != kNone && (later == kNone || equal < later))
        return {Position::found, equal};
    if (later != kNone)
        return {Position::insertBefore, later};
    return {Position::append, m_list.size()};
}

CBookModel::Position CBookModel::LinearFind(const COleDateTime& date) const {
    for (std::size_t i = 0; i < m_list.size(); ++i) {
        if (date == m_list[i]->m_dayDate)
            return {Position::found, i};
        if (date < m_list[i]->m_dayDate)
            return {Position::insertBefore, i};
    }
    return {Position::append, m_list.size()};
}

CBookModel::Position CBookModel::Commit(const CYoteiDay& day) {
    return Commit(std::make_unique<CYoteiDay>(day));
}

CBookModel::Position CBookModel::Commit(std::unique_ptr<CYoteiDay> day) {
    day->m_dayDate = day->m_dayDate.DatePart();
    const Position pos = FindPosition(day->m_dayDate);
    if (pos.kind == Position::found)
        m_list[pos.index] = std::move(day); // the same date: the index stays as it is
    else
        Insert(pos.index, std::move(day));
    return pos;
}

void CBookModel::Insert(std::size_t index, std::unique_ptr<CYoteiDay> day) {
    double key = 0;
    const bool keyed = KeyOf(day->m_dayDate, key);
    m_list.insert(m_list.begin() + std::ptrdiff_t(index), std::move(day));
    if (m_inOrder) {
        if (keyed && (index == 0 || m_keys[index - 1] < key) &&
            (index == m_keys.size() || key < m_keys[index])) {
            m_keys.insert(m_keys.begin() + std::ptrdiff_t(index), key);
            return;
        }
        m_inOrder = false;
        m_built = false;
        return;
    }
    if (!m_built)
        return;
    // The records from index on move one place on; the new entry goes after the entries of
    // smaller keys and before those of its key that now stand after it.
    for (std::uint32_t& pos : m_positions) {
        if (pos >= index)
            ++pos;
    }
    if (keyed) {
        std::size_t j = LowerBound(key);
        while (j < m_keys.size() && m_keys[j] == key && m_positions[j] < index)
            ++j;
        m_keys.insert(m_keys.begin() + std::ptrdiff_t(j), key);
        m_positions.insert(m_positions.begin() + std::ptrdiff_t(j), std::uint32_t(index));
    }
    m_laterMin.resize(m_keys.size());
    std::uint32_t least = std::numeric_limits<std::uint32_t>::max();
    for (std::size_t j = m_keys.size(); j-- > 0;)
        m_laterMin[j] = least = std::min(least, m_positions[j]);
}

std::vector<const CYoteiDay*> CBookModel::DaysBetween(const COleDateTime& first,
                                                      const COleDateTime& last) const {
    std::vector<const CYoteiDay*> days;
    const COleDateTime from = first.DatePart();
    const COleDateTime to = last.DatePart();
    if (from.m_status != COleDateTime::valid || to.m_status != COleDateTime::valid)
        return days;
    if (!m_built)
        BuildScatteredIndex();
    // A whole key belongs to records of exactly that day at 00:00; the first entry of each such
    // key is the first of its records in the list.
    for (std::size_t j = LowerBound(from.m_dt); j < m_keys.size() && m_keys[j] <= to.m_dt; ++j) {
        if ((j > 0 && m_keys[j - 1] == m_keys[j]) || m_keys[j] != std::floor(m_keys[j]))
            continue;
        days.push_back(m_list[PositionAt(j)].get());
    }
    return days;
}

std::vector<std::size_t> CBookModel::PositionsBetween(const COleDateTime& first,
                                                      const COleDateTime& last) const {
    std::vector<std::size_t> positions;
    const COleDateTime from = first.DatePart();
    const COleDateTime to = last.DatePart();
    if (from.m_status != COleDateTime::valid || to.m_status != COleDateTime::valid)
        return positions;
    if (!m_built)
        BuildScatteredIndex();
    // A date rounds to its nearest second, so a record can belong to the day after its key's;
    // a margin of days on each side holds every candidate, and the cut decides.
    std::vector<std::pair<double, std::size_t>> found;
    for (std::size_t j = LowerBound(from.m_dt - 2); j < m_keys.size() && m_keys[j] <= to.m_dt + 2;
         ++j) {
        const std::size_t pos = PositionAt(j);
        const COleDateTime day = m_list[pos]->m_dayDate.DatePart();
        if (day.m_status == COleDateTime::valid && from.m_dt <= day.m_dt && day.m_dt <= to.m_dt)
            found.emplace_back(day.m_dt, pos);
    }
    std::sort(found.begin(), found.end());
    positions.reserve(found.size());
    for (const auto& [day, pos] : found)
        positions.push_back(pos);
    return positions;
}

std::size_t CBookModel::IndexBytes() const {
    return m_keys.capacity() * sizeof(double) +
           (m_positions.capacity() + m_laterMin.capacity()) * sizeof(std::uint32_t);
}
