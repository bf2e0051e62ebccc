#pragma once

// The program's dialog templates and its menu, as data. Positions are in dialog units.

#include "platform/core/Version.h"
#include "platform/ui/CommandBar.h"
#include "platform/ui/DialogTemplate.h"
#include "resources/Resource.h"

#include <QVector>

namespace Resources {

// Form 101: the date picker, the day list and the memo, in tab order.
inline DialogTemplate FormTemplate() {
    return DialogTemplate{
        QString(),
        QRect(0, 0, 140, 140),
        {
            {IDC_DATETIMEPICKER, DialogItem::DateTimePicker, QString(), QRect(7, 7, 108, 13),
             0x50010024},
            {IDC_LIST, DialogItem::ListView, QString(), QRect(7, 32, 60, 50), 0x50814801},
            {IDC_MEMO, DialogItem::Edit, QString(), QRect(7, 97, 103, 36), 0x50A110C4},
        }};
}

// Template 130: the entry dialog. Created in this order, so the tab order is plan, detail,
// time, OK, キャンセル although the time field stands at the top.
inline DialogTemplate EntryDialogTemplate() {
    return DialogTemplate{
        QString(),
        QRect(0, 0, 140, 140),
        {
            {IDC_PLAN, DialogItem::Edit, QString(), QRect(26, 24, 107, 14), 0x50810080},
            {IDC_DETAIL, DialogItem::Edit, QString(), QRect(24, 41, 109, 58), 0x50A110C4},
            {IDC_TIME, DialogItem::Edit, QString(), QRect(26, 7, 107, 14), 0x50810080},
            {IDOK, DialogItem::Button, QStringLiteral("OK"), QRect(7, 119, 44, 14), 0x50010001},
            {IDCANCEL, DialogItem::Button, QStringLiteral("キャンセル"), QRect(89, 119, 44, 14),
             0x50010000},
            {-1, DialogItem::Static, QStringLiteral("時間"), QRect(7, 10, 15, 8), 0x50020000},
            {-1, DialogItem::Static, QStringLiteral("予定"), QRect(7, 26, 15, 8), 0x50020000},
            {-1, DialogItem::Static, QStringLiteral("詳細"), QRect(7, 42, 17, 8), 0x50020000},
        }};
}

// Template 100: the About box.
inline DialogTemplate AboutTemplate() {
    return DialogTemplate{
        QStringLiteral("バージョン情報 Tavrino"),
        QRect(0, 0, 156, 129),
        {
            {IDC_VERSION, DialogItem::Static, QStringLiteral("Tavrino Version " TAVRINO_VERSION),
             QRect(12, 36, 124, 8), 0x50020080},
            {IDC_NOTICE, DialogItem::Static, QStringLiteral("予定とメモを一冊に"),
             QRect(12, 48, 91, 8), 0x50020000},
            {-1, DialogItem::StaticIcon, QStringLiteral(":/tavrino.xpm"), QRect(7, 7, 20, 20),
             0x50000003},
        }};
}

// Menu 128: the "メニュー" drop-down with its six sub-menus.
inline MenuItemResource MainMenu() {
    return MenuItemResource{
        QStringLiteral("メニュー"),
        0,
        {
            {QStringLiteral("ファイル"),
             0,
             {{QStringLiteral("保存"), ID_FILE_SAVE, {}},
              {QStringLiteral("開く"), ID_FILE_OPEN, {}},
              // The desktop's printing, after the handheld's two items.
              {QStringLiteral("印刷..."), ID_FILE_PRINT, {}}}},
            {QStringLiteral("編集"),
             0,
             {{QStringLiteral("コピー"), ID_EDIT_COPY, {}},
              {QStringLiteral("切り取り"), ID_EDIT_CUT, {}},
              {QStringLiteral("貼り付け"), ID_EDIT_PASTE, {}}}},
            {QStringLiteral("行操作"),
             0,
             {{QStringLiteral("編集"), ID_ROW_EDIT, {}},
              {QStringLiteral("挿入"), ID_ROW_INSERT, {}},
              {QStringLiteral("削除"), ID_ROW_DELETE, {}}}},
            {QStringLiteral("データ挿入"),
             0,
             {{QStringLiteral("標準データ"), ID_DATA_STANDARD, {}},
              {QStringLiteral("時刻データ"), ID_DATA_TIME, {}}}},
            {QStringLiteral("表示"),
             0,
             {{QStringLiteral("日"), ID_VIEW_DAY, {}}, {QStringLiteral("月"), ID_VIEW_MONTH, {}}}},
            {QStringLiteral("ツール"),
             0,
             {{QStringLiteral("バージョン情報 Tavrino..."), ID_APP_ABOUT, {}},
              // Beside the handheld's tree: the book kept in step with a calendar.
              {QStringLiteral("同期..."), ID_TOOLS_SYNC, {}}}},
        }};
}

// Toolbar 128: the commands of the eight image buttons, in order.
inline QVector<int> ToolbarCommands() {
    return {ID_ROW_EDIT,   ID_BUTTON2,  ID_BUTTON3,    ID_ROW_INSERT,
            ID_ROW_DELETE, ID_VIEW_DAY, ID_VIEW_MONTH, ID_APP_ABOUT};
}

} // namespace Resources
