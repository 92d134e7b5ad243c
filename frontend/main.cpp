// TZM30: the desktop front end.  Builds models, saves them as control files,
// runs the engine beside it and shows its listing.
#include <QApplication>

#include "forms.h"
#include "frmMain.h"
#include "toolkit/qt_toolkit.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("TZM30");
    QApplication::setApplicationVersion("3.0.0");

    tk::QtToolkit qt;
    tk::setToolkit(&qt);

    frmMain& main = forms::form<frmMain>();
    main.show();
    const int rc = app.exec();
    forms::unloadAll();
    tk::setToolkit(nullptr);
    return rc;
}
