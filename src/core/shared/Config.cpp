#include "core/shared/Config.h"

#include "core/shared/Big5.h"
#include "core/shared/FixedField.h"
#include "core/shared/InputFile.h"
#include "core/shared/LogFolderSetup.h"
#include "core/shared/SaveFile.h"
#include "core/shared/SecretMemory.h"
#include "core/shared/StopSignal.h"
#include "core/shared/SystemErrorText.h"

#include <QDir>
#include <QFile>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace norvi {

namespace {

// An address-list piece is assembled in a buffer of this size, terminator included.
constexpr int kPieceBuffer = 50;

// The socket layer's numbers for name-lookup failures, which the users know from the error texts.
constexpr int kNetworkDown = 10050;
constexpr int kHostNotFound = 11001;
constexpr int kTryAgain = 11002;
constexpr int kNoRecovery = 11003;
constexpr int kNoData = 11004;

// One name lookup on a thread of its own: getaddrinfo() cannot be polled, so the caller waits for this
// lookup's descriptor beside the stop's, and a stop (or the bound) leaves the lookup behind. The thread
// keeps the lookup alive until it is through, then the last of the two to let go frees it.
struct NameLookup {
    std::mutex lock;
    bool done = false;
    int rc = EAI_AGAIN;
    int systemError = 0;
    QByteArray dotted;
    const int fd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);

    ~NameLookup() {
        if (fd >= 0)
            ::close(fd);
    }

    void run(const std::string& name) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* answer = nullptr;
        errno = 0;
        int result = getaddrinfo(name.c_str(), nullptr, &hints, &answer);
        const int error = errno;
        QByteArray address;
        if (result == 0 && answer && answer->ai_addr) {
            char text[INET_ADDRSTRLEN] = {};
            const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(answer->ai_addr);
            inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof text);
            address = QByteArray(text);
        } else if (result == 0) {
            result = kNoAddress;
        }
        if (answer)
            freeaddrinfo(answer);
        {
            std::lock_guard<std::mutex> guard(lock);
            rc = result;
            systemError = error;
            dotted = address;
            done = true;
        }
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(fd, &one, sizeof one);
    }

    // An answer with no address at all.
    static constexpr int kNoAddress = -1000;
};

enum class LookupEnd { Done, TimedOut, Stopped };

// Waits for the lookup's descriptor, the stop's and the bound, whichever comes first.
LookupEnd awaitLookup(const NameLookup& lookup, const StopSignal* stop, int boundMs) {
    using clock = std::chrono::steady_clock;
    const clock::time_point deadline = clock::now() + std::chrono::milliseconds(boundMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0)
            return LookupEnd::TimedOut;
        pollfd p[2] = {{lookup.fd, POLLIN, 0}, {stop ? stop->fd() : -1, POLLIN, 0}};
        const int rc = ::poll(p, stop && stop->fd() >= 0 ? 2 : 1, int(left));
        if (rc > 0 && p[0].revents)
            return LookupEnd::Done;
        if (rc > 0)
            return LookupEnd::Stopped;
        if (rc == 0)
            return LookupEnd::TimedOut;
        if (errno != EINTR)
            return LookupEnd::TimedOut;
    }
}

bool isAcceptedPiece(const char* piece) {
    return inet_addr(piece) != INADDR_NONE;
}

// Converts one typed field; text without a Big5 form is refused with a message that names the character.
bool typedToBig5(const QString& typed, QByteArray& out, QString* errorText) {
    QString bad;
    if (toBig5(typed, out, &bad))
        return true;
    if (errorText)
        *errorText = unmappableMessage(bad);
    return false;
}

// A text longer than its field would be cut when stored, and the cut text names another folder, host or
// account than the one just checked; it is refused instead.
bool fitsField(const QByteArray& text, std::size_t width, const char* label, QString* errorText) {
    if (std::size_t(text.size()) <= width)
        return true;
    if (errorText)
        *errorText =
            QStringLiteral("%1不可超過%2個位元組（中文字每字佔2個位元組）！").arg(QString::fromUtf8(label)).arg(width);
    return false;
}

int hexDigit(QChar c) {
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

} // namespace

Config::Config(QString startDir, QObject* parent) : QObject(parent), m_startDir(std::move(startDir)) {}

void Config::setStartDir(const QString& dir) {
    m_startDir = dir;
    emit changed();
}

QString Config::startDirFile(const QString& name) const {
    return QDir(m_startDir).filePath(name);
}

void Config::setRecord(const sConfig& record) {
    m_record = record;
    emit changed();
}

QString ConfigPath(const QString& startDir) {
    return QDir(startDir).filePath(QStringLiteral("NorviSMSAp.cfg"));
}

bool ReadConfig(Config& config, QString* problem) {
    if (problem)
        problem->clear();
    // Opened without waiting and only as a regular file: a pipe at the name would hold the program.
    QString reason;
    bool notAFile = false;
    const QString path = ConfigPath(config.StartDir());
    const int fd = OpenInputFile(path, &reason, &notAFile);
    if (fd < 0) {
        if (problem && notAFile)
            *problem = InputRefusalText(path, reason);
        return false;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return false;
    }
    // A longer file's excess is never read.
    char bytes[sizeof(sConfig)];
    qint64 have = 0;
    while (have < qint64(sizeof bytes)) {
        const qint64 n = file.read(bytes + have, qint64(sizeof bytes) - have);
        if (n <= 0)
            break;
        have += n;
    }
    // A cut file (a full disk, a copy broken off) would leave the account, the password or the port zero
    // and the program would go to the gateway with them: it is as good as none.
    if (have < qint64(sizeof bytes)) {
        if (problem)
            *problem = QStringLiteral("設定檔不完整（%1 位元組）").arg(have);
        return false;
    }
    config.setRecord(ConfigFromBytes(QByteArrayView(bytes, have)));
    if (!getField(config.record().gwPasswd).isEmpty())
        KeepSecretsOutOfDumps();
    return true;
}

QString ConfigReadErrorText(const QString& problem) {
    return WithReason(QStringLiteral("讀取設定檔錯誤，請重新執行設定功能"), problem);
}

sConfig ConfigFromBytes(QByteArrayView bytes) {
    sConfig fresh{};
    if (!bytes.isEmpty())
        std::memcpy(&fresh, bytes.data(), std::min<std::size_t>(std::size_t(bytes.size()), sizeof fresh));
    return fresh;
}

bool WriteConfig(const Config& config, QString* error) {
    // The file holds the password: the temporary file is made owner-only before a byte lands in it,
    // and the old file is replaced only by a complete new one.
    const QString path = ConfigPath(config.StartDir());
    SaveFile file(path);
    const auto failed = [&file, error] {
        if (error)
            *error = file.errorString();
        return false;
    };
    if (!file.open())
        return failed();
    const auto ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    file.setPermissions(ownerOnly);
    const sConfig& record = config.record();
    const qint64 size = qint64(sizeof record);
    if (file.write(reinterpret_cast<const char*>(&record), size) != size) {
        const QString reason = file.errorString();
        file.cancelWriting();
        if (error)
            *error = reason;
        return false;
    }
    if (!file.commit())
        return failed();
    // A device or pipe written directly keeps its own permissions: /dev/null stays usable by everyone.
    if (!file.writesDirectly())
        QFile::setPermissions(path, ownerOnly);
    return true;
}

QString CredentialLengthNote(const QByteArray& account, const QByteArray& password) {
    if (account.size() <= kSentCredentialBytes && password.size() <= kSentCredentialBytes)
        return QString();
    return QStringLiteral("帳號和密碼只會送出前 %1 個字元").arg(kSentCredentialBytes);
}

bool ConfigReadableByOthers(const QString& startDir) {
    struct stat st {};
    return ::stat(QFile::encodeName(ConfigPath(startDir)).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           (st.st_mode & (S_IRGRP | S_IROTH)) != 0;
}

bool IsAddressList(const QByteArray& text) {
    char piece[kPieceBuffer];
    int length = 0;
    for (const char c : text) {
        if (c == ';') {
            piece[length] = 0;
            if (!isAcceptedPiece(piece))
                return false;
            length = 0;
        } else if (c == '*') {
            if (length + 3 >= kPieceBuffer)
                return false;
            std::memcpy(piece + length, "255", 3);
            length += 3;
        } else if (c == '.' || (c >= '0' && c <= '9')) {
            if (length + 1 >= kPieceBuffer)
                return false;
            piece[length++] = c;
        } else {
            return false;
        }
    }
    // The empty text and a text ending in ";" have no piece left to check.
    if (length == 0)
        return true;
    piece[length] = 0;
    return isAcceptedPiece(piece);
}

int ResolverErrorNumber(int gaiError, int systemError) {
    switch (gaiError) {
    case EAI_NONAME:
        return kHostNotFound;
    case EAI_AGAIN:
        return kTryAgain;
    case EAI_FAIL:
        return kNoRecovery;
#ifdef EAI_NODATA
    case EAI_NODATA:
        return kNoData;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY:
        return kNoData;
#endif
    case EAI_SYSTEM:
        return systemError == ENETDOWN ? kNetworkDown : systemError;
    default:
        return gaiError;
    }
}

QString ResolverErrorText(int number) {
    switch (number) {
    case kNetworkDown:
        return QStringLiteral("網路系統發生問題！");
    case kHostNotFound:
    case kTryAgain:
        return QStringLiteral("找不到DNS主機！");
    case kNoRecovery:
        return QStringLiteral("DNS主機發生錯誤！");
    case kNoData:
        return QStringLiteral("查無該網址名稱資料！");
    default:
        return QStringLiteral("網址名稱查詢錯誤！") + QString::number(number);
    }
}

QString LookupStoppedText() {
    return QStringLiteral("作業已中斷");
}

bool ResolveAddress(const QByteArray& address, QByteArray* dotted, QString* errorText, const StopSignal* stop) {
    if (IsAddressList(address)) {
        if (dotted)
            *dotted = address;
        return true;
    }
    const auto refuse = [errorText](const QString& text) {
        if (errorText)
            *errorText = text;
        return false;
    };
    // A name with a zero byte in it would be looked up cut short, as another name.
    if (address.contains('\0'))
        return refuse(ResolverErrorText(kHostNotFound));
    if (stop && stop->raised())
        return refuse(LookupStoppedText());
    auto lookup = std::make_shared<NameLookup>();
    if (lookup->fd < 0) {
        lookup->run(address.toStdString()); // no descriptor to wait on: look the name up here
    } else {
        try {
            std::thread([lookup, name = address.toStdString()] { lookup->run(name); }).detach();
        } catch (const std::system_error&) {
            lookup->run(address.toStdString()); // no thread to spare: look the name up here
        }
        switch (awaitLookup(*lookup, stop, kNameLookupWaitSeconds * 1000)) {
        case LookupEnd::Stopped:
            return refuse(LookupStoppedText());
        case LookupEnd::TimedOut:
            return refuse(ResolverErrorText(kTryAgain));
        case LookupEnd::Done:
            break;
        }
    }
    std::lock_guard<std::mutex> guard(lookup->lock);
    if (lookup->rc == 0) {
        if (dotted)
            *dotted = lookup->dotted;
        return true;
    }
    const int number =
        lookup->rc == NameLookup::kNoAddress ? kNoData : ResolverErrorNumber(lookup->rc, lookup->systemError);
    return refuse(ResolverErrorText(number));
}

GatewayTarget TargetFor(const sConfig& config, const QByteArray& dottedHost) {
    return GatewayTarget{dottedHost, config.gwPort, getField(config.gwAccount), getField(config.gwPasswd),
                         kDefaultReplyWaitSeconds};
}

bool ResolveGateway(const sConfig& config, GatewayTarget* target, QString* errorText, const StopSignal* stop) {
    QByteArray dotted;
    if (!ResolveAddress(getField(config.gwIp), &dotted, errorText, stop))
        return false;
    if (target)
        *target = TargetFor(config, dotted);
    return true;
}

bool ParsePortText(const QString& text, int32_t* port, QString* errorText) {
    int32_t value = 0;
    if (ParseIntText(text.trimmed(), &value) && value >= kLowestPort && value <= kHighestPort) {
        if (port)
            *port = value;
        return true;
    }
    if (errorText)
        *errorText = QStringLiteral("Gateway PORT 必須是 %1 到 %2 之間的整數！").arg(kLowestPort).arg(kHighestPort);
    return false;
}

QString ConfigPortProblem(const sConfig& record) {
    if (record.gwPort >= kLowestPort && record.gwPort <= kHighestPort)
        return QString();
    return QStringLiteral("設定檔的 Gateway PORT 不正確（%1），必須是 %2 到 %3 之間的整數")
        .arg(record.gwPort)
        .arg(kLowestPort)
        .arg(kHighestPort);
}

bool ParseIntText(const QString& text, int32_t* value) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i) == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-'))) {
        negative = text.at(i) == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && text.at(i) == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text.at(i) == QLatin1Char('0') &&
               (text.at(i + 1) == QLatin1Char('x') || text.at(i + 1) == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    // Hexadecimal covers all 32 bits ("$FFFFFFFF" is -1); decimal must fit a signed 32-bit number.
    const quint64 limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 magnitude = 0;
    for (; i < n; ++i) {
        const int d = hexDigit(text.at(i));
        if (d < 0 || d >= base)
            return false;
        magnitude = magnitude * quint64(base) + quint64(d);
        if (magnitude > limit)
            return false;
    }
    const uint32_t bits = uint32_t(magnitude);
    const uint32_t result = negative ? uint32_t(0u - bits) : bits;
    if (value)
        std::memcpy(value, &result, sizeof result);
    return true;
}

QByteArray StripTrailingSeparator(const QByteArray& folder, char separator) {
    if (folder.size() <= 1)
        return folder;
    // Walk the characters so that the last one is known whole: a Big5 character's second byte may
    // carry the separator's code.
    qsizetype last = 0;
    for (qsizetype i = 0; i < folder.size();) {
        last = i;
        i += (isBig5LeadByte(uchar(folder.at(i))) && i + 1 < folder.size()) ? 2 : 1;
    }
    if (last == folder.size() - 1 && folder.at(last) == separator)
        return folder.left(last);
    return folder;
}

namespace {

bool collectSettings(Config& config, SettingsFields& fields, QString* errorText, bool resolve) {
    // Everything is checked before anything is stored, so a refused dialog leaves the record as it was.
    // Blanks around the address or the port are no part of them: a port typed "9000 " is 9000.
    fields.gwIp = fields.gwIp.trimmed();
    int32_t port = 0;
    if (!ParsePortText(fields.gwPort, &port, errorText))
        return false;
    QByteArray logFiles, gwIp, gwAccount, gwPasswd;
    if (!typedToBig5(fields.logFiles, logFiles, errorText) || !typedToBig5(fields.gwIp, gwIp, errorText) ||
        !typedToBig5(fields.gwAccount, gwAccount, errorText) || !typedToBig5(fields.gwPasswd, gwPasswd, errorText))
        return false;
    logFiles = StripTrailingSeparator(logFiles, '/');
    const sConfig& record = config.record();
    if (!fitsField(logFiles, sizeof record.logFiles, "運作記錄檔目錄", errorText) ||
        !fitsField(gwIp, sizeof record.gwIp, "Gateway Addr", errorText) ||
        !fitsField(gwAccount, sizeof record.gwAccount, "帳號", errorText) ||
        !fitsField(gwPasswd, sizeof record.gwPasswd, "密碼", errorText))
        return false;
    if (resolve && !ResolveAddress(gwIp, nullptr, errorText))
        return false;

    fields.gwPort = QString::number(port);
    config.edit([&](sConfig& stored) {
        putField(stored.logFiles, logFiles);
        putField(stored.gwIp, gwIp);
        stored.gwPort = port;
        putField(stored.gwAccount, gwAccount);
        putField(stored.gwPasswd, gwPasswd);
    });
    if (!gwPasswd.isEmpty())
        KeepSecretsOutOfDumps();
    return true;
}

} // namespace

bool CollectSettings(Config& config, SettingsFields& fields, QString* errorText) {
    return collectSettings(config, fields, errorText, true);
}

bool CollectSettingsUnresolved(Config& config, SettingsFields& fields, QString* errorText) {
    return collectSettings(config, fields, errorText, false);
}

QString LogFolder(const Config& config) {
    return LogFolderPath(config.StartDir(), fromBig5(getField(config.record().logFiles)));
}

} // namespace norvi
