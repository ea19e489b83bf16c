#include "cli/CliSetup.h"

#include "cli/CliCommands.h"
#include "cli/CliJob.h"
#include "cli/CliOutput.h"

#include "core/gateway/LoginTest.h"
#include "core/shared/Big5.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/LogFolderSetup.h"
#include "core/shared/OpLog.h"
#include "core/shared/StopSignal.h"

#include <QDir>
#include <QFileInfo>

namespace norvi::cli {

bool enterStartDir(Config& config, const QString& dir, Console& console) {
    const QFileInfo info(dir.isEmpty() ? QDir::currentPath() : dir);
    if (!info.isDir()) {
        console.err(QStringLiteral("起始目錄不存在：%1").arg(dir));
        return false;
    }
    config.setStartDir(info.absoluteFilePath());
    return true;
}

bool loadConfiguration(Config& config, Console& console) {
    QString problem;
    if (!ReadConfig(config, &problem) || !(problem = ConfigPortProblem(config.record())).isEmpty()) {
        console.err(ConfigReadErrorText(problem));
        return false;
    }
    if (!PrepareLogFolder(config, &problem))
        console.err(problem);
    // Said with -v, where the message area's lines go: the file holds the password in plain text.
    if (ConfigReadableByOthers(config.StartDir()))
        ShowMsgLine(
            big5(QStringLiteral("設定檔 %1 其他使用者也可以讀取（內含密碼）；請以 chmod 600 限制為只有自己能讀寫。")
                     .arg(ConfigPath(config.StartDir()))));
    return true;
}

bool resolveGateway(const Config& config, GatewayTarget* gateway, Console& console) {
    // The gateway would check only the first bytes of a longer account or password: a refused login says
    // only "密碼錯誤", so the cut is said first.
    const QString cut = CredentialLengthNote(getField(config.record().gwAccount), getField(config.record().gwPasswd));
    if (!cut.isEmpty())
        console.err(cut + QStringLiteral("（設定檔 %1）。").arg(ConfigPath(config.StartDir())));
    QString error;
    // Ctrl+C ends the lookup's wait too; the caller then says that nothing was started.
    StopFlag stop;
    const StopReach reach(stop);
    if (!Interrupted() && ResolveGateway(config.record(), gateway, &error, &stop.wake())) {
        gateway->replyWaitSeconds = config.replyWaitSeconds();
        return true;
    }
    if (!Interrupted())
        console.err(error);
    return false;
}

int loginTest(const Arguments&, Config& config, Console& console) {
    if (!loadConfiguration(config, console))
        return ExitRefused;
    GatewayTarget gateway;
    if (!resolveGateway(config, &gateway, console))
        return stoppedOrRefused(console);
    QByteArray text;
    StopFlag stop;
    const StopReach reach(stop);
    if (Interrupted())
        stop.request();
    const bool loggedIn = RunLoginTest(gateway, &text, gateway.replyWaitSeconds, &stop.wake());
    console.out(fromBig5(text));
    return loggedIn ? ExitOk : ExitRefused;
}

} // namespace norvi::cli
