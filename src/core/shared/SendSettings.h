#pragma once

#include <QDateTime>
#include <QString>
#include <QTime>

// The settings of the send that NorviSMSAp.cfg has no room for: quiet hours and when the summary before a
// send is shown. They live in NorviSMSAp.ini beside it (Qt's INI format), so NorviSMSAp.cfg keeps its 328
// bytes:
//
//   [QuietHours]
//   enabled=true
//   from=21:00
//   to=08:00
//   cliRefuses=false
//   [Send]
//   summary=always
//
// A missing file or key, or a value that cannot be read, means the default shown here.
namespace norvi {

QString SendSettingsPath(const QString& startDir); // startDir/NorviSMSAp.ini

// The hours in which nobody should get a message: from `from` up to (not including) `to`, local time. A
// window whose `from` is later than its `to` crosses midnight (21:00 to 08:00); equal times make no window.
struct QuietHours {
    bool enabled = true;
    QTime from{21, 0};
    QTime to{8, 0};
    bool cliRefuses = false; // norvi-cli refuses a night run unless told --night-ok

    bool contains(const QTime& time) const;
    bool contains(const QDateTime& when) const { return contains(when.time()); }
    // The end of the quiet hours `when` lies in: the next time the clock reads `to`.
    QDateTime endAfter(const QDateTime& when) const;
    // "21:00–08:00"
    QString windowText() const;
    QString endText() const { return to.toString(QStringLiteral("HH:mm")); }
};

// When the summary before a send is shown: before every send, or only when it leaves somebody out or warns.
enum class SummaryShown { Always, Warnings };

struct SendSettings {
    QuietHours quiet;
    SummaryShown summary = SummaryShown::Always;
};

// The settings in `startDir`'s NorviSMSAp.ini; `problem` names a value that could not be read (its default
// is used).
SendSettings ReadSendSettings(const QString& startDir, QString* problem = nullptr);
// Writes every key, keeping whatever else the file holds. False with the reason.
bool WriteSendSettings(const QString& startDir, const SendSettings& settings, QString* error);
// Writes [Send] summary alone, as the summary's own check box does.
bool WriteSummaryShown(const QString& startDir, SummaryShown shown, QString* error);

} // namespace norvi
