#pragma once

#include "core/shared/ConfigRecord.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QObject>
#include <QString>

#include <cstdint>
#include <utility>

// The program's settings (the start folder and NorviSMSAp.cfg) and the gateway address check.
namespace norvi {

// How long a gateway client waits for each reply unless told otherwise, in whole seconds.
constexpr int kDefaultReplyWaitSeconds = 30;

// The settings of one run of a program: the start folder, where the program's files live, and the
// configuration record, the exact image of NorviSMSAp.cfg. The window set owns the desktop program's and
// each norvi-cli command its own; whoever needs them is handed this object. A job is handed the values it
// needs when it starts (its GatewayTarget, the log folder), so settings changed while it runs reach the
// next job, never the running one.
class Config : public QObject {
    Q_OBJECT
public:
    explicit Config(QString startDir = QString(), QObject* parent = nullptr);

    // The folder that was current at start, or the one norvi-cli was given.
    const QString& StartDir() const { return m_startDir; }
    void setStartDir(const QString& dir);
    // Path of a file in the start folder.
    QString startDirFile(const QString& name) const;

    const sConfig& record() const { return m_record; }
    void setRecord(const sConfig& record);
    // Changes the record in place through `change(sConfig&)`.
    template <typename Change> void edit(Change&& change) {
        std::forward<Change>(change)(m_record);
        emit changed();
    }

    // How long the jobs of these settings wait for each gateway reply (GatewayTarget::replyWaitSeconds): the
    // client's own wait unless norvi-cli was given --reply-wait. Not part of NorviSMSAp.cfg.
    int replyWaitSeconds() const { return m_replyWaitSeconds; }
    void setReplyWaitSeconds(int seconds) { m_replyWaitSeconds = seconds; }

signals:
    // After every change of the start folder or the record.
    void changed();

private:
    QString m_startDir;
    sConfig m_record{};
    int m_replyWaitSeconds = kDefaultReplyWaitSeconds;
};

QString ConfigPath(const QString& startDir); // startDir/NorviSMSAp.cfg

// Reads the first 328 bytes into `config`'s record. False (the record untouched) when the file is missing,
// cannot be read, is no regular file or is shorter than its record; `problem` then says why in a line that
// follows ConfigReadErrorText() ("設定檔不完整（N 位元組）"), or is empty for a missing file.
bool ReadConfig(Config& config, QString* problem = nullptr);
// "讀取設定檔錯誤，請重新執行設定功能", with the problem on a second line when there is one.
QString ConfigReadErrorText(const QString& problem);
// The record a file of these bytes holds: a short file leaves the rest zero, a longer one's excess is ignored.
sConfig ConfigFromBytes(QByteArrayView bytes);
// Writes the record whole into the start folder's file, atomically and readable by the owner only; false
// when it could not be written, with `error` set to what failed and the system's reason.
bool WriteConfig(const Config& config, QString* error = nullptr);

// The login request carries this many bytes of the account and of the password; NorviSMSAp.cfg keeps 20.
constexpr int kSentCredentialBytes = 8;
// "帳號和密碼只會送出前 8 個字元" when the account or the password (Big5) is longer than a login carries, so the
// gateway would check only their first bytes; empty otherwise.
QString CredentialLengthNote(const QByteArray& account, const QByteArray& password);
// Whether the start folder's NorviSMSAp.cfg, which holds the password, can be read by users other than its owner.
bool ConfigReadableByOthers(const QString& startDir);

// Dotted addresses with "*" for 255, separated by ";"; no name lookup.
bool IsAddressList(const QByteArray& text);

class StopSignal;

// The longest a host name lookup is waited for. getaddrinfo() cannot be polled, so it runs on a short-lived
// thread of its own; once this bound passes (or `stop` is raised) its answer is no longer waited for and
// the lookup fails, and the thread frees what it holds when the system's lookup is through.
constexpr int kNameLookupWaitSeconds = 10;

// The dotted address to connect to: an address list as typed, or the first address of a host name lookup.
// On failure returns false with the system's error text ("作業已中斷" when `stop` ended the wait).
bool ResolveAddress(const QByteArray& address, QByteArray* dotted, QString* errorText,
                    const StopSignal* stop = nullptr);
// Where and as whom a job logs in: the gateway's dotted address, resolved when the job is asked for, and
// the configuration's port, account and password as they stood then. A job is handed its own copy, so
// settings saved while it runs reach the next job, never the running one.
struct GatewayTarget {
    QByteArray host; // dotted
    int32_t port = 0;
    QByteArray account;
    QByteArray password;
    // How long the job's client waits for each reply, in whole seconds (0 or less: no limit). A gateway that
    // never answers then costs the job this long per attempt instead of blocking it for good. norvi-cli's
    // --reply-wait and the tests shorten it.
    int replyWaitSeconds = kDefaultReplyWaitSeconds;
};
// Resolves `config`'s gateway address (ResolveAddress) and fills `target` from `config`. On failure
// returns false with the error text and leaves `target` alone.
bool ResolveGateway(const sConfig& config, GatewayTarget* target, QString* errorText, const StopSignal* stop = nullptr);
// The target for an address already resolved.
GatewayTarget TargetFor(const sConfig& config, const QByteArray& dottedHost);
// The text of a lookup a stop ended.
QString LookupStoppedText();

// The number a failed name lookup is reported with (getaddrinfo's code and, for EAI_SYSTEM, errno),
// kept in the socket layer's numbering the users know: 10050, 11001 to 11004, or the code itself.
int ResolverErrorNumber(int gaiError, int systemError);
// The text the user sees for such a number.
QString ResolverErrorText(int number);

// The settings dialog's fields as typed.
struct SettingsFields {
    QString logFiles, gwIp, gwPort, gwAccount, gwPasswd;
};
// Validates the fields and copies them into `config`'s record. False with the error text (the record
// unchanged) when the port is refused (ParsePortText), a field has no Big5 form, does not fit its field in
// the file, or the gateway address is not accepted. The blanks around the address and the port are dropped,
// and fields.gwIp and fields.gwPort are rewritten to what is stored, so the dialog can show it.
bool CollectSettings(Config& config, SettingsFields& fields, QString* errorText);
// The same without the name lookup: the address is only checked for its size and Big5 form. The
// connection test looks the name up on its own thread.
bool CollectSettingsUnresolved(Config& config, SettingsFields& fields, QString* errorText);

// The configured operation-log folder as a path (the record's logFiles); a relative folder is taken under
// the start folder. Empty while none is configured.
QString LogFolder(const Config& config);

// The ports a gateway can listen on.
constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;
// The port typed in the settings: ParseIntText of the text without its surrounding blanks, from kLowestPort
// to kHighestPort. False with "Gateway PORT 必須是 1 到 65535 之間的整數！" otherwise: a port the socket cannot
// take (70000 would reach port 4464) or a text that is no number would fail only at the next send.
bool ParsePortText(const QString& text, int32_t* port, QString* errorText = nullptr);
// Empty for a record whose port a gateway can listen on; else the line saying it is not (a file edited by
// hand, or stored before ports were checked), to follow ConfigReadErrorText().
QString ConfigPortProblem(const sConfig& record);

// The toolkit's string-to-integer conversion: leading blanks, a sign, decimal or "$"/"0x" hexadecimal,
// nothing after the digits, within 32 bits. False when the text is not such a number.
bool ParseIntText(const QString& text, int32_t* value);

// Removes one trailing separator from a Big5 folder text. A separator byte that is the second byte of a
// double-byte character is part of that character, and a text that is only the separator (the root)
// stays as it is.
QByteArray StripTrailingSeparator(const QByteArray& folder, char separator = '/');

} // namespace norvi
