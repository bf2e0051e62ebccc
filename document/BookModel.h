#pragma once

#include "document/BookFile.h"

#include <cstdint>
#include <vector>

// The schedule book itself: every stored day in the list's order (the order the file holds),
// a date index beside the list, and the commit rule. It has no working day: the planner's
// document keeps that, and the book tool, the import and the sync store days here directly.
//
// The list may hold anything a file held: dates twice, out of order, with a time of day,
// invalid or null. Every lookup answers exactly as a walk from the head of the list would.
// A stored day's date must not be changed in place: the index would no longer know it.
class CBookModel {
public:
    // Where a date stands in the list, as a walk from the head finds it: the first record of an
    // equal date, else the first record of a later date, else the end.
    struct Position {
        enum Kind { found, insertBefore, append } kind;
        std::size_t index; // the record found or inserted before; the list's size for append
    };

    CBookModel() = default;
    CBookModel(CBookModel&& other) noexcept;
    CBookModel& operator=(CBookModel&& other) noexcept;
    // Takes the list as it stands, in its order; nothing is sorted, cut or merged.
    CBookModel& operator=(DayList days);
    // Hands the list over, in its order, leaving the book empty: what a write takes.
    operator DayList() &&;

    // The list, from its head.
    const DayList& List() const { return m_list; }
    std::size_t size() const { return m_list.size(); }
    bool empty() const { return m_list.empty(); }
    const std::unique_ptr<CYoteiDay>& operator[](std::size_t i) const { return m_list[i]; }
    const std::unique_ptr<CYoteiDay>& front() const { return m_list.front(); }
    const std::unique_ptr<CYoteiDay>& back() const { return m_list.back(); }
    DayList::const_iterator begin() const { return m_list.begin(); }
    DayList::const_iterator end() const { return m_list.end(); }

    // Appends a record at the tail exactly as a read does: no cut, no check, no merge.
    void push_back(std::unique_ptr<CYoteiDay> day);
    void clear();

    // The record the planner shows for the calendar day of date: the first record whose date
    // equals that day at 00:00. Null when there is none, or when the date is not a valid one.
    const CYoteiDay* Find(const COleDateTime& date) const;
    // As a walk from the head: the first record equal to date or later than it.
    Position FindPosition(const COleDateTime& date) const;

    // The commit rule: a copy of day, its date cut to the calendar day, replaces the record
    // found for that day, or goes in before the first later record, or at the end. Returns
    // where it went. Nothing else is touched.
    Position Commit(const CYoteiDay& day);
    Position Commit(std::unique_ptr<CYoteiDay> day);

    // The days the planner shows for the calendar days from first to last (what Find gives for
    // each), in date order. Days without a record are not listed.
    std::vector<const CYoteiDay*> DaysBetween(const COleDateTime& first,
                                              const COleDateTime& last) const;
    // The positions of every record whose date, cut to its calendar day, lies from first to
    // last, in date order and, for one day, in list order. Records with a time of day count.
    std::vector<std::size_t> PositionsBetween(const COleDateTime& first,
                                              const COleDateTime& last) const;

    // What the index itself holds, in bytes.
    std::size_t IndexBytes() const;

private:
    void Insert(std::size_t index, std::unique_ptr<CYoteiDay> day);
    void Reindex();
    void BuildScatteredIndex() const;
    std::size_t LowerBound(double key) const;
    std::size_t UpperBound(double key) const;
    std::size_t PositionAt(std::size_t entry) const;
    // The position of the first record of that key whose stored value equals value; the
    // largest size_t when there is none.
    std::size_t FirstEqual(double key, double value) const;
    Position LinearFind(const COleDateTime& date) const;

    DayList m_list;

    // The index: the dates of the records that a valid date can equal or come before, as keys
    // on one continuous time line, sorted. A list in date order (what the planner builds) is
    // its own order: entry i is record i and m_positions stays empty. Any other list keeps the
    // record's position beside each key and, for each entry, the smallest position among it and
    // every later entry, built when it is first asked for after a change that it cannot follow.
    bool m_inOrder = true;
    mutable bool m_built = true;
    mutable std::vector<double> m_keys;
    mutable std::vector<std::uint32_t> m_positions;
    mutable std::vector<std::uint32_t> m_laterMin;
};
