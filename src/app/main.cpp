#include "addressbook/TFormAdrBk.h"
#include "compose/TFormSendSMS.h"
#include "exchange/TFormFileIO.h"
#include "exchange/TFormFileType.h"
#include "sendlog/MainWindowJobs.h"
#include "sendlog/TFormMain.h"
#include "sendlog/TFormQuerySMS.h"
#include "shared/TFormSettings.h"
#include "shared/TFormShowProcess.h"
#include "shared/UiFont.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

// The long-lived windows are created in this order (the main window first: it takes the start folder the
// others rely on) and live until the main window ends the run.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    norvi::installFormFont();
    // The toolkit's own captions (Yes, No, OK, Cancel in message boxes and file dialogs) in Traditional
    // Chinese like the rest of the program, where the translations are installed.
    QTranslator toolkitCaptions;
    if (toolkitCaptions.load(QStringLiteral("qtbase_zh_TW"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        app.installTranslator(&toolkitCaptions);

    norvi::TFormMain formMain;
    norvi::TFormSettings formSettings(&formMain);
    norvi::TFormSendSMS formSendSMS(&formMain);
    norvi::TFormQuerySMS formQuerySMS(&formMain);
    norvi::TFormAdrBk formAdrBk(&formMain);
    norvi::TFormFileIO formFileIO(&formMain);
    norvi::TFormFileType formFileType(&formMain);
    norvi::TFormShowProcess formShowProcess(&formMain);

    formMain.attachSettings(&formSettings);
    formMain.FormSendSMS = &formSendSMS;
    formMain.FormQuerySMS = &formQuerySMS;
    formMain.FormAdrBk = &formAdrBk;
    norvi::MainWindowJobs logJobs(formMain);

    formMain.show();
    app.exec();
    return 0;
}
