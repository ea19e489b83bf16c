#pragma once

#include <QByteArray>
#include <QString>

// The configuration file NorviSMSAp.cfg (the record Config in Global.h) and the gateway address check.
namespace norvi {

QString ConfigPath(); // StartDir/NorviSMSAp.cfg

// Reads up to 328 bytes into a zeroed Config; false (Config untouched) when the file cannot be opened.
bool ReadConfig();
// Writes Config whole, atomically and readable by the owner only; false when it could not be written.
bool WriteConfig();

// Dotted addresses with "*" for 255, separated by ";"; no name lookup.
bool IsAddressList(const QByteArray& text);
// Sets GatewayHost from an address list as typed, or from the first address of a host name lookup.
// On failure returns false with the system's error text and leaves GatewayHost alone.
bool ResolveGateway(const QByteArray& address, QString* errorText);

// The settings dialog's fields as typed.
struct SettingsFields {
    QString logFiles, gwIp, gwPort, gwAccount, gwPasswd;
};
// Validates the fields and copies them into Config. False with the error text when the gateway address
// is not accepted (Config unchanged). A port that is not a number becomes 8000, and fields.gwPort
// is rewritten to "8000" so the dialog can show it.
bool CollectSettings(SettingsFields& fields, QString* errorText);

// The configured operation-log folder as a path (Config.logFiles).
QString LogFolder();

} // namespace norvi
