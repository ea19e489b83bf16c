#pragma once

#include <QByteArray>

#include <cstdint>

namespace norvi {

// A message sender. The twelve operations keep their slot order; the unused slots do nothing.
class SMSend {
public:
    virtual ~SMSend() = default;

    virtual void Clear() = 0;                                         // slot 0
    virtual void SetType(uint8_t type) = 0;                           // slot 1
    virtual void SetMobile(const QByteArray& mobile) = 0;             // slot 2
    virtual void SetContent(int length, const char* bytes) = 0;       // slot 3
    virtual void Reserved4() {}                                       // slot 4
    virtual void Reserved5() {}                                       // slot 5
    virtual void Reserved6() {}                                       // slot 6
    virtual bool SetScheduleTime(const QByteArray& yymmddhhnnss) = 0; // slot 7
    virtual void SetMsgId(const QByteArray& msgId) = 0;               // slot 8
    virtual void Reserved9() {}                                       // slot 9
    virtual void SetLimitTime(int minutes) = 0;                       // slot 10
    // One exchange of the current request; hands back the reply's coding, content, length and params.
    virtual int Receive(uint8_t& coding, QByteArray& content, int& contentLength, QByteArray& params) = 0; // slot 11
};

} // namespace norvi
