#include "cli/CliSetup.h"

#include "cli/CliCommands.h"
#include "cli/CliJob.h"
#include "cli/CliOutput.h"

#include "core/gateway/LoginTest.h"
#include "core/shared/Big5.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/LogFolderSetup.h"
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
    if (!ReadConfig(config, &problem)) {
        console.err(ConfigReadErrorText(problem));
        return false;
    }
    if (!PrepareLogFolder(config, &problem))
        console.err(problem);
    return true;
}

bool resolveGateway(const Config& config, GatewayTarget* gateway, Console& console) {
    QString error;
    // Ctrl+C ends the lookup's wait too; the caller then says that nothing was started.
    if (ResolveGateway(config.record(), gateway, &error, &StopWake())) {
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
    const bool loggedIn = RunLoginTest(gateway, &text, gateway.replyWaitSeconds);
    console.out(fromBig5(text));
    return loggedIn ? ExitOk : ExitRefused;
}

} // namespace norvi::cli
