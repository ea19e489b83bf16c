#include "gui/WindowSet.h"
#include "gui/sendlog/UnsavedRows.h"
#include "gui/shared/ModalCloseRaise.h"
#include "gui/shared/UiFont.h"
#include "gui/workers/ExitSignals.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTimer>
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
    // The close box of a window under a modal dialog (the main window during a run from the send dialog)
    // brings the modal window forward, where the user can act, instead of doing nothing.
    const norvi::ModalCloseRaise closeUnderModal;
    // The main window says when the user ended the program and every question is answered. exit(), not
    // quit(): quit() asks every window to close first, and the progress window never agrees to.
    QObject::connect(&windows.main(), &norvi::TFormMain::programEnding, &app, [] { QCoreApplication::exit(0); });
    // A log-out or a kill stops the job, keeps its rows and ends the program without a question.
    norvi::ExitSignals exitSignals;
    QObject::connect(&exitSignals, &norvi::ExitSignals::received, &windows.main(), &norvi::TFormMain::endWithoutSaving);
    // Shown from inside the event loop: the first show may ask questions in boxes of their own, and an end
    // asked for meanwhile (a signal) must find the loop it ends already running.
    // Rows not saved yet are journalled as they come; rows a previous program left are offered back.
    norvi::UnsavedRows unsaved(windows.main(), windows.config(), windows.jobs().registry());
    QTimer::singleShot(0, &app, [&windows, &unsaved] {
        windows.show();
        unsaved.offerLeftBehind();
    });
    return app.exec();
}
