#include "platform/ui/DialogTemplate.h"

#include "platform/ui/Controls.h"
#include "platform/ui/Images.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVariant>
#include <cmath>

namespace {
const char* const kIdProperty = "dlgCtrlId";
} // namespace

QRect DialogUnitsToPixels(const QRect& units, const QFont& font) {
    const QFontMetrics fm(font);
    const QString sample = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int baseX = std::max(1, int(std::lround(fm.horizontalAdvance(sample) / 52.0)));
    const int baseY = std::max(1, fm.height());
    return QRect(units.x() * baseX / 4, units.y() * baseY / 8, units.width() * baseX / 4,
                 units.height() * baseY / 8);
}

void CreateTemplateControls(QWidget* parent, const DialogTemplate& dlgTemplate) {
    for (const DialogItem& item : dlgTemplate.items) {
        QWidget* control = nullptr;
        switch (item.kind) {
        case DialogItem::DateTimePicker:
            control = new CDateTimeCtrl(parent, (item.style & Style::DTS_RIGHTALIGN) != 0);
            break;
        case DialogItem::ListView: {
            auto* list = new CListCtrl(parent);
            if (item.style & Style::LVS_SINGLESEL)
                list->setSelectionMode(QAbstractItemView::SingleSelection);
            control = list;
            break;
        }
        case DialogItem::Edit:
            if (item.style & Style::ES_MULTILINE)
                control = new CEdit(parent);
            else
                control = new CLineEdit(parent);
            break;
        case DialogItem::Button: {
            auto* button = new QPushButton(item.text, parent);
            button->setDefault((item.style & Style::BS_DEFPUSHBUTTON) != 0);
            control = button;
            break;
        }
        case DialogItem::Static:
            control = new QLabel(item.text, parent);
            static_cast<QLabel*>(control)->setTextFormat(Qt::PlainText);
            break;
        case DialogItem::StaticIcon: {
            auto* label = new QLabel(parent);
            // Sharp at any scale: the image's @2x twin where the screen doubles pixels.
            const QPixmap original(item.text);
            label->setPixmap(
                LoadScaledIcon(item.text).pixmap(original.size(), label->devicePixelRatioF()));
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            control = label;
            break;
        }
        }
        control->setProperty(kIdProperty, item.id);
        control->setObjectName(QStringLiteral("ctrl%1").arg(item.id));
        control->setFocusPolicy((item.style & Style::WS_TABSTOP) ? Qt::StrongFocus
                                                                 : control->focusPolicy());
        QRect rect = DialogUnitsToPixels(item.units, parent->font());
        if (item.kind == DialogItem::StaticIcon)
            rect.setSize(rect.size().expandedTo(QSize(32, 32)));
        control->setGeometry(rect);
        control->show();
    }
}

void MoveWindow(QWidget* control, int x, int y, int width, int height) {
    control->setGeometry(x, y, std::max(0, width), std::max(0, height));
}

QWidget* GetDlgItem(const QWidget* parent, int id) {
    const auto children = parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children) {
        const QVariant value = child->property(kIdProperty);
        if (value.isValid() && value.toInt() == id)
            return child;
    }
    return nullptr;
}
