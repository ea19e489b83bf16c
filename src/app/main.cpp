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

// The long-lived windows are created in this order (the main window first: it takes the start folder the
// others rely on) and live until the main window ends the run.
int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    norvi::installFormFont();

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
