// The fill-in commands of the view: ready-made labels for the time column and the heading.

#include "document/YoteiDay.h"
#include "view/TavrinoView.h"

namespace {

// Row r takes the piece of the source text at r * width; past the end it is empty.
void FillTimes(CTavrinoView& view, const QString& heading, const QString& source, int width) {
    view.UpdateData(true);
    view.SetCellText(0, 0, QString());
    view.SetCellText(0, 1, heading);
    for (int row = 0; row < CYoteiDay::kRows; ++row)
        view.SetCellText(row + 1, 0, source.mid(row * width, width));
    view.UpdateData(false);
    view.StoreDay();
}

} // namespace

void CTavrinoView::OnStandardData() {
    // The slots of a day of 50-minute periods: morning, periods 1-4, midday, 5, 6, after.
    FillTimes(*this, QStringLiteral("50分時程"), QStringLiteral("朝①②③④昼⑤⑥放"), 1);
}

void CTavrinoView::OnTimeData() {
    FillTimes(*this, QString(), QStringLiteral("08091011121314151617"), 2);
}
