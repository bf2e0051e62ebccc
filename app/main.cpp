#include "app/TavrinoApp.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>
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
} // namespace

int main(int argc, char* argv[]) {
    if (!DisplayAvailable()) {
        std::fprintf(stderr, "tavrino: no display found (DISPLAY and WAYLAND_DISPLAY are not "
                             "set); start it from a desktop session\n");
        return 1;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tavrino"));
    QApplication::setApplicationVersion(QStringLiteral("2.0.3.0"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/tavrino.xpm")));

    CTavrinoApp theApp;
    theApp.SetArguments(QApplication::arguments());
    // The handheld's way of saving, without the question, stays selectable.
    if (qgetenv("TAVRINO_PLATFORM_KIND") == "handheld")
        theApp.SetPlatformKind(PlatformKind::Handheld);
    return theApp.Run();
}
