#include "app/TavrinoApp.h"
#include "platform/core/Version.h"
#include "platform/ui/Images.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

namespace {
// Qt aborts when it finds no display; say so in one line instead.
bool DisplayAvailable() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    return !qgetenv("DISPLAY").isEmpty() || !qgetenv("WAYLAND_DISPLAY").isEmpty();
}

// While the application object connects to the display. A display that is named but cannot be
// reached ends in Qt's fatal error and an abort; say so in one line and exit instead. Qt's own
// messages of that phase are kept back and shown only when start-up goes on.
QStringList* g_startupMessages = nullptr;

void StartupMessageHandler(QtMsgType type, const QMessageLogContext& context,
                           const QString& message) {
    if (type == QtFatalMsg) {
        std::fputs("tavrino: the display could not be opened; start it from a desktop session\n",
                   stderr);
        std::_Exit(1);
    }
    if (g_startupMessages)
        g_startupMessages->append(qFormatLogMessage(type, context, message));
}
} // namespace

int main(int argc, char* argv[]) {
    if (!DisplayAvailable()) {
        std::fprintf(stderr, "tavrino: no display found (DISPLAY and WAYLAND_DISPLAY are not "
                             "set); start it from a desktop session\n");
        return 1;
    }
    QStringList startupMessages;
    g_startupMessages = &startupMessages;
    const QtMessageHandler previousHandler = qInstallMessageHandler(StartupMessageHandler);
    QApplication application(argc, argv);
    qInstallMessageHandler(previousHandler);
    g_startupMessages = nullptr;
    for (const QString& message : startupMessages)
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());

    // The organization and name place the data folder (backups, recovery journals) beside the
    // profile's keys.
    QApplication::setOrganizationName(QStringLiteral("VELKORAN"));
    QApplication::setApplicationName(QStringLiteral("Tavrino"));
    QApplication::setApplicationVersion(QStringLiteral(TAVRINO_VERSION));
    QApplication::setWindowIcon(LoadScaledIcon(QStringLiteral(":/tavrino.xpm")));

    CTavrinoApp theApp;
    theApp.SetArguments(QApplication::arguments());
    // The handheld's way of saving, without the question, stays selectable.
    if (qgetenv("TAVRINO_PLATFORM_KIND") == "handheld")
        theApp.SetPlatformKind(PlatformKind::Handheld);
    return theApp.Run();
}
