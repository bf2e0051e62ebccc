#include "platform/core/StringTable.h"

QString LoadString(int id) {
    switch (id) {
    case IDR_MAINFRAME:
        return QStringLiteral("Tavrino\n\nTavrino\nTavrino Files (*.dat)\n.dat\nTavrino.Document\n"
                              "Tavrino.Document");
    case IDS_MENU_CAPTION:
        return QStringLiteral("メニュー");
    case IDP_RECOVER_CHANGES:
        return QStringLiteral("保存されていない変更が見つかりました (%1)。復元しますか?");
    case IDP_RECOVER_FILE_CHANGED:
        return QStringLiteral("ファイルはその後変更されています。");
    case AFX_IDS_APP_TITLE:
        return QStringLiteral("Tavrino");
    case AFX_IDS_OPENFILE:
        return QStringLiteral("開く");
    case AFX_IDS_ALLFILTER:
        return QStringLiteral("すべてのファイル (*.*)");
    case AFX_IDS_UNTITLED:
        return QStringLiteral("無題");
    case AFX_IDP_ASK_TO_SAVE:
        return QStringLiteral("%1 への変更を保存しますか?");
    case AFX_IDP_FAILED_TO_CREATE_DOC:
        return QStringLiteral("空のドキュメントの作成に失敗しました。");
    case AFX_IDP_FAILED_TO_OPEN_DOC:
        return QStringLiteral("ドキュメントを開くことに失敗しました。");
    case AFX_IDP_FAILED_TO_SAVE_DOC:
        return QStringLiteral("ドキュメントの保存に失敗しました。");
    case AFX_IDP_INTERNAL_FAILURE:
        return QStringLiteral("アプリケーションの内部エラーです。");
    case AFX_IDP_FILE_UNEXPECTED_FORMAT:
        return QStringLiteral("予期しないファイル形式です。");
    case AFX_IDS_UNNAMED_FILE:
        return QStringLiteral("無題のファイル");
    case AFX_IDP_FILE_GENERIC:
        return QStringLiteral("%1 へのアクセス中に不明なエラーが発生しました。");
    case AFX_IDP_FILE_NOT_FOUND:
        return QStringLiteral("%1 が見つかりませんでした。");
    case AFX_IDP_FILE_BAD_PATH:
        return QStringLiteral("%1 に正しくないパスが含まれています。");
    case AFX_IDP_FILE_TOO_MANY_OPEN:
        return QStringLiteral("開いているファイルが多すぎるため、%1 を開けませんでした。");
    case AFX_IDP_FILE_ACCESS_DENIED:
        return QStringLiteral("%1 へのアクセスは拒否されました。");
    case AFX_IDP_FILE_INVALID_FILE:
        return QStringLiteral("正しくないファイル ハンドルが %1 に関連付けられていました。");
    case AFX_IDP_FILE_REMOVE_CURRENT:
        return QStringLiteral("現在のディレクトリ %1 は削除できませんでした。");
    case AFX_IDP_FILE_DIR_FULL:
        return QStringLiteral("%1 を作成できませんでした。そのディレクトリはいっぱいです。");
    case AFX_IDP_FILE_BAD_SEEK:
        return QStringLiteral("%1 のシークに失敗しました。");
    case AFX_IDP_FILE_HARD_IO:
        return QStringLiteral("%1 へのアクセス中にハードウェア I/O エラーが報告されました。");
    case AFX_IDP_FILE_SHARING:
        return QStringLiteral("%1 へのアクセス中に共有違反が発生しました。");
    case AFX_IDP_FILE_LOCKING:
        return QStringLiteral("%1 へのアクセス中にロック違反が発生しました。");
    case AFX_IDP_FILE_DISKFULL:
        return QStringLiteral("%1 へのアクセス中にディスクがいっぱいになりました。");
    case AFX_IDP_FILE_EOF:
        return QStringLiteral("%1 の末尾以降にアクセスしようとしました。");
    case IDP_FILE_CHANGED_ON_DISK:
        return QStringLiteral("%1 は他のプログラムによって変更されています。上書きしますか?");
    case IDP_SAVED_BESIDE_CHANGED_FILE:
        return QStringLiteral(
            "%1 は他のプログラムによって変更されていたため、上書きせずに %2 に保存しました。");
    case IDP_NO_BACKUP_KEPT:
        return QStringLiteral(
            "%1 を保存しましたが、以前の内容のバックアップを残せませんでした。%2");
    case IDP_SAVED_FOLDER_NOT_SYNCED:
        return QStringLiteral(
            "%1 を保存しましたが、フォルダーの更新をディスクに書き込めませんでした。"
            "停電などがあると、この保存が失われることがあります。");
    case IDP_ROLLBACK_FAILED:
        return QStringLiteral("%1 を元に戻せませんでした。保存する前の内容は %2 にあります。");
    case IDP_ROLLBACK_FAILED_NO_BACKUP:
        return QStringLiteral("%1 を元に戻せませんでした。");
    case IDP_BOOK_IN_USE:
        return QStringLiteral("%1 は他の Tavrino で使用中です。");
    case IDP_BOOK_CHANGED_SINCE_READ:
        return QStringLiteral(
            "%1 は読み込んだ後に他のプログラムによって変更されたため、書き込みませんでした。");
    case IDS_MONTH_SHEET_TITLE:
        return QStringLiteral("%1年%2月");
    case IDS_MONTH_SHEET_WEEKDAYS:
        return QStringLiteral("日月火水木金土");
    case IDS_MONTH_SHEET_MORE_ROWS:
        return QStringLiteral("…%1");
    case IDS_SYNC_CAPTION:
        return QStringLiteral("同期");
    case IDS_SYNC_ADDRESS:
        return QStringLiteral("サーバーまたはカレンダーのアドレス:");
    case IDS_SYNC_USER:
        return QStringLiteral("ユーザー名:");
    case IDS_SYNC_PASSWORD:
        return QStringLiteral("パスワード:");
    case IDS_SYNC_TRY:
        return QStringLiteral("接続を確認");
    case IDS_SYNC_FOUND:
        return QStringLiteral("カレンダー「%1」が見つかりました。");
    case IDS_SYNC_WILL_MAKE:
        return QStringLiteral("カレンダーはまだありません。最初の同期で「%1」を作成します。");
    case IDP_SYNC_FAILED:
        return QStringLiteral("%1 と同期できませんでした。(%2)");
    case IDP_SYNC_CONFLICTS:
        return QStringLiteral("次の日に競合があります。両方の版を残しました: %1");
    case IDS_SYNC_WAITING:
        return QStringLiteral("保存を待っているサーバーの変更:");
    case IDS_SYNC_LAST:
        return QStringLiteral("前回の同期:");
    case IDS_SYNC_NEVER:
        return QStringLiteral("まだ同期していません。");
    case IDS_SYNC_LAST_RESULT:
        return QStringLiteral("%1 に同期しました。変更 %2 件、競合 %3 件。");
    case IDS_SYNC_ASK_PASSWORD:
        return QStringLiteral("%1 (%2) のパスワード:");
    case IDS_SYNC_SAVE_FIRST:
        return QStringLiteral("同期するには、先にファイルを保存してください。");
    case IDS_SYNC_NOT_KEPT:
        return QStringLiteral(
            "キーリングが使えないため、パスワードは保存せず、この起動の間だけ使います。");
    case IDP_SYNC_BAD_ADDRESS:
        return QStringLiteral("このアドレスは使えません: %1");
    case IDS_SYNC_TRYING:
        return QStringLiteral("接続しています...");
    case IDS_SYNC_NONE:
        return QStringLiteral("なし");
    case IDP_SYNC_LOGIN_REFUSED:
        return QStringLiteral("ユーザー名 %1 またはパスワードが違います。");
    case IDS_PRINT_LAYOUT:
        return QStringLiteral("レイアウト(&L)");
    case IDS_PRINT_LAYOUTS:
        return QStringLiteral("日\n週\n月");
    case IDS_PRINT_PAPER:
        return QStringLiteral("用紙(&P)");
    case IDS_PRINT_RANGE:
        return QStringLiteral("期間(&R)\n〜");
    case IDS_PRINT_FACING:
        return QStringLiteral("見開き(&F)");
    case IDP_PRINT_FAILED:
        return QStringLiteral("%1 で印刷できませんでした。");
    case IDS_DAY_SHEET_TITLE:
        return QStringLiteral("%1年%2月%3日 (%4)");
    case IDS_DAY_SHEET_CONTINUED:
        return QStringLiteral("(続き)");
    case IDS_SHEET_MEMO:
        return QStringLiteral("メモ");
    case IDS_WEEK_SHEET_TITLE:
        return QStringLiteral("%1年%2月%3日〜%4月%5日");
    default:
        return QString();
    }
}
