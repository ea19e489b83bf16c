#include "core/shared/SendSettings.h"

#include <QDir>
#include <QSettings>
#include <QStringList>

namespace norvi {

namespace {

const QString kTimeFormat = QStringLiteral("HH:mm");

// Each value as it is written; one that cannot be read leaves the default and is named.
struct SettingsReader {
    QSettings& ini;
    QStringList problems;

    bool flag(const QString& key, bool fallback) {
        const QVariant value = ini.value(key);
        if (!value.isValid())
            return fallback;
        const QString text = value.toString().trimmed().toLower();
        if (text == QLatin1String("true") || text == QLatin1String("1"))
            return true;
        if (text == QLatin1String("false") || text == QLatin1String("0"))
            return false;
        problems << QStringLiteral("%1=%2").arg(key, value.toString());
        return fallback;
    }
    QTime time(const QString& key, const QTime& fallback) {
        const QVariant value = ini.value(key);
        if (!value.isValid())
            return fallback;
        // "8:00" as well as "08:00".
        QTime read = QTime::fromString(value.toString().trimmed(), kTimeFormat);
        if (!read.isValid())
            read = QTime::fromString(value.toString().trimmed(), QStringLiteral("H:mm"));
        if (read.isValid())
            return read;
        problems << QStringLiteral("%1=%2").arg(key, value.toString());
        return fallback;
    }
};

QString summaryText(SummaryShown shown) {
    return shown == SummaryShown::Warnings ? QStringLiteral("warnings") : QStringLiteral("always");
}

bool syncSettingsFile(QSettings& ini, QString* error) {
    ini.sync();
    if (ini.status() == QSettings::NoError)
        return true;
    // The toolkit says nothing of why: what the user can check is named instead.
    *error = QStringLiteral(
                 "無法寫入設定檔 %1，這次變更的傳送設定沒有儲存；請確認磁碟尚有空間，且這個檔案與所在資料夾可以寫入。")
                 .arg(ini.fileName());
    return false;
}

} // namespace

QString SendSettingsPath(const QString& startDir) {
    return QDir(startDir).filePath(QStringLiteral("NorviSMSAp.ini"));
}

bool QuietHours::contains(const QTime& time) const {
    if (!enabled || from == to)
        return false;
    if (from < to)
        return time >= from && time < to;
    return time >= from || time < to;
}

QDateTime QuietHours::endAfter(const QDateTime& when) const {
    QDateTime end(when.date(), to);
    if (end <= when)
        end = QDateTime(when.date().addDays(1), to);
    return end;
}

QString QuietHours::windowText() const {
    return from.toString(kTimeFormat) + QStringLiteral("–") + to.toString(kTimeFormat);
}

SendSettings ReadSendSettings(const QString& startDir, QString* problem) {
    SendSettings settings;
    QSettings ini(SendSettingsPath(startDir), QSettings::IniFormat);
    SettingsReader read{ini, {}};
    QuietHours& quiet = settings.quiet;
    quiet.enabled = read.flag(QStringLiteral("QuietHours/enabled"), quiet.enabled);
    quiet.from = read.time(QStringLiteral("QuietHours/from"), quiet.from);
    quiet.to = read.time(QStringLiteral("QuietHours/to"), quiet.to);
    quiet.cliRefuses = read.flag(QStringLiteral("QuietHours/cliRefuses"), quiet.cliRefuses);
    const QVariant summary = ini.value(QStringLiteral("Send/summary"));
    if (summary.isValid()) {
        const QString text = summary.toString().trimmed().toLower();
        if (text == QLatin1String("warnings"))
            settings.summary = SummaryShown::Warnings;
        else if (text != QLatin1String("always"))
            read.problems << QStringLiteral("Send/summary=%1").arg(summary.toString());
    }
    if (!problem)
        return settings;
    // A file that is there but cannot be read gives no values at all: the defaults then stand in for quiet
    // hours the user may have set, so that is said as an unrecognised value is.
    if (ini.status() == QSettings::AccessError)
        *problem =
            QStringLiteral("無法讀取 %1，傳送設定以預設值代替；請檢查這個檔案的權限。").arg(SendSettingsPath(startDir));
    else if (!read.problems.isEmpty())
        *problem = QStringLiteral("%1 中的 %2 無法辨識，以預設值代替。")
                       .arg(SendSettingsPath(startDir), read.problems.join(QStringLiteral("、")));
    return settings;
}

bool WriteSendSettings(const QString& startDir, const SendSettings& settings, QString* error) {
    QSettings ini(SendSettingsPath(startDir), QSettings::IniFormat);
    const QuietHours& quiet = settings.quiet;
    ini.setValue(QStringLiteral("QuietHours/enabled"),
                 quiet.enabled ? QStringLiteral("true") : QStringLiteral("false"));
    ini.setValue(QStringLiteral("QuietHours/from"), quiet.from.toString(kTimeFormat));
    ini.setValue(QStringLiteral("QuietHours/to"), quiet.to.toString(kTimeFormat));
    ini.setValue(QStringLiteral("QuietHours/cliRefuses"),
                 quiet.cliRefuses ? QStringLiteral("true") : QStringLiteral("false"));
    ini.setValue(QStringLiteral("Send/summary"), summaryText(settings.summary));
    return syncSettingsFile(ini, error);
}

bool WriteSummaryShown(const QString& startDir, SummaryShown shown, QString* error) {
    QSettings ini(SendSettingsPath(startDir), QSettings::IniFormat);
    ini.setValue(QStringLiteral("Send/summary"), summaryText(shown));
    return syncSettingsFile(ini, error);
}

} // namespace norvi
