// NorviSMSAp.cfg as the program reads it, and what it does with the fields. Whatever the bytes: the
// record is the file's first 328 bytes with the rest zero and saves back to exactly those bytes; no field
// is read past its width; the address check, the port reading and the log folder's trailing separator
// never read past their text and agree with themselves.

#include "FuzzCheck.h"

#include "core/shared/Config.h"
#include "core/shared/FixedField.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstring>

using namespace norvi;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const sConfig config = ConfigFromBytes(bytes);

    // The memory image is the file's first bytes, zero after a short file; saving writes it back.
    QByteArray expected = bytes.first(qMin<qsizetype>(bytes.size(), sizeof(sConfig))).toByteArray();
    expected.append(QByteArray(qsizetype(sizeof(sConfig)) - expected.size(), '\0'));
    FUZZ_CHECK(std::memcmp(&config, expected.constData(), sizeof config) == 0);

    const QByteArray gwIp = getField(config.gwIp);
    const QByteArray account = getField(config.gwAccount);
    const QByteArray password = getField(config.gwPasswd);
    const QByteArray logFiles = getField(config.logFiles);
    FUZZ_CHECK(gwIp.size() <= 20 && account.size() <= 20 && password.size() <= 20 && logFiles.size() <= 256);
    FUZZ_CHECK(!gwIp.contains('\0') && !account.contains('\0') && !logFiles.contains('\0'));

    // An address list is dotted pieces and ";", nothing else.
    if (IsAddressList(gwIp))
        for (const char c : gwIp)
            FUZZ_CHECK(c == ';' || c == '.' || c == '*' || (c >= '0' && c <= '9'));
    FUZZ_CHECK(IsAddressList(gwIp + ';') == IsAddressList(gwIp) || gwIp.endsWith(';') || gwIp.isEmpty());

    // One trailing separator goes, never the second byte of a Big5 character, never the root.
    const QByteArray stripped = StripTrailingSeparator(logFiles, '/');
    FUZZ_CHECK(logFiles.startsWith(stripped));
    FUZZ_CHECK(stripped.size() >= logFiles.size() - 1);
    if (stripped.size() != logFiles.size())
        FUZZ_CHECK(logFiles.endsWith('/') && logFiles.size() > 1);
    const QByteArray backslashed = StripTrailingSeparator(logFiles, '\\');
    FUZZ_CHECK(logFiles.startsWith(backslashed) && backslashed.size() >= logFiles.size() - 1);

    // The port text as the settings dialog reads it: a number within 32 bits, or not a number.
    for (const QByteArray& text : {account, password, gwIp}) {
        const QString typed = QString::fromLatin1(text);
        int32_t value = 0;
        if (ParseIntText(typed, &value)) {
            int32_t again = 0;
            FUZZ_CHECK(ParseIntText(QString::number(value), &again) && again == value);
        }
    }

    // The folder the program would write its logs in, taken under the start folder when relative.
    Config settings(QStringLiteral("/start"));
    settings.setRecord(config);
    const QString folder = LogFolder(settings);
    FUZZ_CHECK(logFiles.isEmpty() == folder.isEmpty());
    return 0;
}
