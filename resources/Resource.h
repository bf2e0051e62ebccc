#pragma once

// Resource and command identifiers of the program. The framework's own (its standard commands,
// IDOK, IDYES, ...) are the framework's and come with it.

#include "platform/core/FrameworkIds.h"

// The program's own commands.
constexpr int ID_ROW_EDIT = 32778;
constexpr int ID_ROW_INSERT = 32779;
constexpr int ID_ROW_DELETE = 32780;
constexpr int ID_DATA_STANDARD = 32781;
constexpr int ID_DATA_TIME = 32782;
constexpr int ID_VIEW_DAY = 32798;
constexpr int ID_VIEW_MONTH = 32799;
constexpr int ID_BUTTON2 = 32806;
constexpr int ID_BUTTON3 = 32807;
// Beside the handheld's commands: ファイル › 印刷...
constexpr int ID_FILE_PRINT = 32860;
constexpr int IDM_MENU = 402; // the "メニュー" drop-down button; sends no command
// Beside the handheld's menu: ツール › 同期... (the book kept in step with a CalDAV calendar).
constexpr int ID_TOOLS_SYNC = 32850;

// Templates and controls.
constexpr int IDR_MAINFRAME_RES = 128;
constexpr int IDC_DATETIMEPICKER = 1000;
constexpr int IDC_LIST = 1001;
constexpr int IDC_MEMO = 1002;
constexpr int IDC_TIME = 1003;
constexpr int IDC_PLAN = 1004;
constexpr int IDC_DETAIL = 1005;
constexpr int IDC_VERSION = 202;
constexpr int IDC_NOTICE = 203;
