// TZM30: the desktop front end.  Builds models, saves them as control files,
// runs the engine beside it and shows its listing.
#include <QApplication>

#include "forms.h"
#include "release.h"
#include "screen_fit.h"
#include "frmMain.h"
#include "toolkit/qt_toolkit.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("TZM30");
    QApplication::setOrganizationName("TZM30");
    // The engine's release: both programs take it from the build.
    QApplication::setApplicationVersion(TZM_RELEASE);
    // Every window opens whole on the screen it appears on.
    install_screen_fit(app);

    tk::QtToolkit qt;
    tk::setToolkit(&qt);

    frmMain& main = forms::form<frmMain>();
    main.show();
    const int rc = app.exec();
    forms::unloadAll();
    tk::setToolkit(nullptr);
    return rc;
}
