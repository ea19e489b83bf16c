#include "WindowSet.h"
#include "sendlog/UnsavedRows.h"
#include "shared/UiFont.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

// The long-lived windows live in the window set until the main window ends the run.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    norvi::installFormFont();
    // The toolkit's own captions (Yes, No, OK, Cancel in message boxes and file dialogs) in Traditional
    // Chinese like the rest of the program, where the translations are installed.
    QTranslator toolkitCaptions;
    if (toolkitCaptions.load(QStringLiteral("qtbase_zh_TW"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&toolkitCaptions);

    norvi::WindowSet windows;
    // Rows not saved yet are journalled as they come; rows a previous program left are offered back.
    norvi::UnsavedRows unsaved(windows.main());
    windows.show();
    unsaved.offerLeftBehind();
    return app.exec();
}
