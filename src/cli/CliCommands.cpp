#include "cli/CliCommands.h"

#include "cli/CliArgs.h"
#include "cli/CliCommandTable.h"
#include "cli/CliHelp.h"
#include "cli/CliJob.h"
#include "cli/CliOutput.h"
#include "cli/CliSetup.h"

#include "core/shared/Config.h"
#include "core/shared/OpLog.h"

#include <csignal>

namespace norvi::cli {

namespace {

int runCommandLine(const QStringList& arguments, Console& console) {
    const GlobalOptions global = ParseGlobalOptions(arguments);
    if (!global.error.isEmpty()) {
        console.err(global.error);
        console.err(ProgramHelp());
        return ExitRefused;
    }
    if (global.command.isEmpty()) {
        if (global.help) {
            console.out(ProgramHelp());
            return ExitOk;
        }
        console.err(ProgramHelp());
        return ExitRefused;
    }
    if (global.command == QLatin1String("help")) {
        const QString topic = global.rest.value(0);
        const QString text = topic.isEmpty() ? ProgramHelp() : CommandHelp(topic);
        if (text.isEmpty()) {
            console.err(QStringLiteral("沒有這個指令：%1").arg(topic));
            return ExitRefused;
        }
        console.out(text);
        return ExitOk;
    }
    for (const Command& command : commands()) {
        if (global.command != QLatin1String(command.name))
            continue;
        const Arguments args = ParseArguments(global.rest, command.known);
        if (global.help || args.switches.contains(kHelpSwitch) || args.switches.contains(QStringLiteral("-h"))) {
            console.out(CommandHelp(global.command));
            return ExitOk;
        }
        if (!args.error.isEmpty()) {
            console.err(args.error);
            console.err(CommandHelp(global.command));
            return ExitRefused;
        }
        // The settings of this run: the start folder now, the configuration when the command reads it. The
        // operation log follows them.
        Config config;
        QObject::connect(&config, &Config::changed, &config, [&config] { SetOpLogFolder(LogFolder(config)); });
        if (!enterStartDir(config, global.startDir, console))
            return ExitRefused;
        if (global.verbose)
            SetMessageAreaSink([&console](const QString& line) { console.err(line); });
        console.setProgressBarAllowed(!global.quiet);
        if (global.replyWaitSeconds > 0)
            config.setReplyWaitSeconds(global.replyWaitSeconds);
        SetOpLogFailureReporter([&console](const QString& text) { console.err(text); });
        InstallInterruptHandler();
        const int code = command.run(args, config, console);
        SetMessageAreaSink(nullptr);
        SetOpLogFailureReporter(nullptr);
        return code;
    }
    console.err(QStringLiteral("沒有這個指令：%1").arg(global.command));
    console.err(ProgramHelp());
    return ExitRefused;
}

} // namespace

int Run(const QStringList& arguments) {
    // A closed pipe on standard output makes a write fail rather than end the program before the send
    // log is saved; the failure is then reported like any other.
    std::signal(SIGPIPE, SIG_IGN);
    Console console;
    const int code = runCommandLine(arguments, console);
    if (!console.outputFailed() || code == ExitNotSaved)
        return code;
    console.err(QStringLiteral("無法寫出標準輸出：%1").arg(console.outputError()));
    return ExitNoOutput;
}

} // namespace norvi::cli
