#pragma once

#include <QString>

// Identifiers of the program's string table. Numbers follow the framework's conventions where
// one exists; the rest are the program's own.
enum StringId : int {
    IDR_MAINFRAME = 128,            // document-template string
    IDS_MENU_CAPTION = 302,         // "メニュー"
    IDP_RECOVER_CHANGES = 340,      // a journal of unsaved changes was found: restore it?
    IDP_RECOVER_FILE_CHANGED = 341, // ... and the book file has changed since
    AFX_IDS_APP_TITLE = 57344,      // "Tavrino"
    AFX_IDS_OPENFILE = 61440,       // "開く"
    AFX_IDS_ALLFILTER = 61442,      // "すべてのファイル (*.*)"
    AFX_IDS_UNTITLED = 61443,       // "無題"
    AFX_IDP_ASK_TO_SAVE = 61444,
    AFX_IDP_FAILED_TO_CREATE_DOC = 61700,
    AFX_IDP_FAILED_TO_OPEN_DOC = 61701,
    AFX_IDP_FAILED_TO_SAVE_DOC = 61702,
    AFX_IDP_INTERNAL_FAILURE = 61703,
    AFX_IDP_FILE_UNEXPECTED_FORMAT = 61704,
    AFX_IDS_UNNAMED_FILE = 61705,
    // File error texts, one per cause, in the order of CFileException::Cause from generic on.
    AFX_IDP_FILE_GENERIC = 61720,
    AFX_IDP_FILE_NOT_FOUND,
    AFX_IDP_FILE_BAD_PATH,
    AFX_IDP_FILE_TOO_MANY_OPEN,
    AFX_IDP_FILE_ACCESS_DENIED,
    AFX_IDP_FILE_INVALID_FILE,
    AFX_IDP_FILE_REMOVE_CURRENT,
    AFX_IDP_FILE_DIR_FULL,
    AFX_IDP_FILE_BAD_SEEK,
    AFX_IDP_FILE_HARD_IO,
    AFX_IDP_FILE_SHARING,
    AFX_IDP_FILE_LOCKING,
    AFX_IDP_FILE_DISKFULL,
    AFX_IDP_FILE_EOF,
    // The program's own texts.
    IDP_FILE_CHANGED_ON_DISK = 61800,      // the question before overwriting a changed file
    IDP_SAVED_BESIDE_CHANGED_FILE = 61801, // the changed file was kept and the book saved beside it
    IDP_NO_BACKUP_KEPT = 61810,            // saved, but the previous version could not be kept
    IDP_SAVED_FOLDER_NOT_SYNCED = 61811,   // saved, but the rename may not survive a power cut
    IDP_ROLLBACK_FAILED = 61812, // the old bytes could not be put back: the backup has them
    IDP_ROLLBACK_FAILED_NO_BACKUP = 61813, // ... and there is no backup
    IDP_BOOK_IN_USE = 61814,               // another planner (or the book tool) has the book open
    IDP_BOOK_CHANGED_SINCE_READ = 61815,   // the book tool's book was changed while it worked
    // ツール › 同期...: the dialog, and what the planner tells of its syncs.
    IDS_SYNC_CAPTION = 61850,
    IDS_SYNC_ADDRESS,
    IDS_SYNC_USER,
    IDS_SYNC_PASSWORD,
    IDS_SYNC_TRY,
    IDS_SYNC_FOUND,
    IDS_SYNC_WILL_MAKE,
    IDP_SYNC_FAILED,
    IDP_SYNC_CONFLICTS,
    IDS_SYNC_WAITING,
    IDS_SYNC_LAST,
    IDS_SYNC_NEVER,
    IDS_SYNC_LAST_RESULT,
    IDS_SYNC_ASK_PASSWORD,
    IDS_SYNC_SAVE_FIRST,
    IDS_SYNC_NOT_KEPT,
    IDP_SYNC_BAD_ADDRESS,
    IDS_SYNC_TRYING,
    IDS_SYNC_NONE,
    IDP_SYNC_LOGIN_REFUSED, // the server refused the user's login
    // The month sheet.
    IDS_MONTH_SHEET_TITLE = 61880,     // the year and the month
    IDS_MONTH_SHEET_WEEKDAYS = 61881,  // the weekdays' letters from Sunday
    IDS_MONTH_SHEET_MORE_ROWS = 61882, // a cell's rows left out, and how many
    // Printing.
    IDS_PRINT_LAYOUT = 61890,        // the print dialog's label of the layout
    IDS_PRINT_LAYOUTS = 61891,       // the layouts, one a line: a day, a week, a month
    IDS_PRINT_PAPER = 61892,         // the label of the paper
    IDS_PRINT_RANGE = 61893,         // the label of the range, then the mark between its dates
    IDS_PRINT_FACING = 61894,        // a week on two facing pages
    IDP_PRINT_FAILED = 61895,        // the printer (or its file) could not be printed on
    IDS_DAY_SHEET_TITLE = 61896,     // a day page's date: year, month, day, weekday
    IDS_DAY_SHEET_CONTINUED = 61897, // after the date on the pages a day continues on
    IDS_SHEET_MEMO = 61898,          // the memo of a day page, the notes of a week
    IDS_WEEK_SHEET_TITLE =
        61899, // the week's Monday (year, month, day), its Sunday's month and day
};

// The text of a string-table entry; an empty string for an unknown identifier.
QString LoadString(int id);
