#pragma once

#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "core/shared/Global.h"

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

// One test's start folder: a fresh temporary folder that is the current folder and StartDir while the
// test runs, as it is for the program started there. The folder that was current before comes back at
// the end; the rest of the process-wide state is put back between tests by ResetProcessState().
class StartFolder {
public:
    StartFolder() : m_previous(QDir::currentPath()) {
        if (m_dir.isValid() && QDir::setCurrent(m_dir.path()))
            StartDir = m_dir.path();
    }
    ~StartFolder() { QDir::setCurrent(m_previous); }
    StartFolder(const StartFolder&) = delete;
    StartFolder& operator=(const StartFolder&) = delete;

    bool isValid() const { return m_dir.isValid() && StartDir == m_dir.path(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return QDir(m_dir.path()).filePath(name); }

    // Writes NorviSMSAp.cfg with the program's own writer; Config is left as written.
    bool writeConfig(const StartConfig& start) const {
        Config = sConfig{};
        putField(Config.logFiles, start.logFolder);
        putField(Config.gwIp, start.host);
        Config.gwPort = start.port;
        putField(Config.gwAccount, start.account);
        putField(Config.gwPasswd, start.password);
        return WriteConfig();
    }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

} // namespace norvi::test
