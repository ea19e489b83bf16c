#pragma once

#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/OpLog.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>

namespace norvi::test {

// What a test puts into NorviSMSAp.cfg. The log folder is stored as given (Big5 or file-name bytes).
struct StartConfig {
    QByteArray logFolder;
    QByteArray host = "127.0.0.1";
    int port = 8000;
    QByteArray account;
    QByteArray password;
};

// One test's start folder: a fresh temporary folder that is the current folder while the test runs, as it
// is for the program started there, with the settings of a program started there. The folder that was
// current before comes back at the end; the process-wide state is put back between tests by
// ResetProcessState().
class StartFolder {
public:
    StartFolder() : m_previous(QDir::currentPath()) {
        m_entered = m_dir.isValid() && QDir::setCurrent(m_dir.path());
        m_config.setStartDir(m_dir.path());
        // As the programs do, the operation log follows the settings (a test's jobs log where it says).
        QObject::connect(&m_config, &Config::changed, &m_config, [this] { SetOpLogFolder(LogFolder(m_config)); });
    }
    ~StartFolder() { QDir::setCurrent(m_previous); }
    StartFolder(const StartFolder&) = delete;
    StartFolder& operator=(const StartFolder&) = delete;

    bool isValid() const { return m_entered; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return QDir(m_dir.path()).filePath(name); }

    // The settings of a program started here: the jobs of tests without windows log in with them.
    Config& config() { return m_config; }
    const sConfig& record() const { return m_config.record(); }
    // Where the jobs of tests without windows log in: the gateway at `host`, as the settings stand.
    GatewayTarget gateway(const QByteArray& host = "127.0.0.1") const { return TargetFor(m_config.record(), host); }

    // Writes NorviSMSAp.cfg with the program's own writer; config() is left as written.
    bool writeConfig(const StartConfig& start) {
        sConfig record{};
        putField(record.logFiles, start.logFolder);
        putField(record.gwIp, start.host);
        record.gwPort = start.port;
        putField(record.gwAccount, start.account);
        putField(record.gwPasswd, start.password);
        m_config.setRecord(record);
        return WriteConfig(m_config);
    }

private:
    QTemporaryDir m_dir;
    QString m_previous;
    bool m_entered = false;
    Config m_config;
};

} // namespace norvi::test
