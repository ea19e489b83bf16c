#pragma once

#include "core/sendlog/SendLogRow.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>

namespace norvi {

// What became of a send-log row's message, read from its codes: the one answer to "how many arrived?".
// The gateway only answers when asked, so a row is final once no later query can change what it says.
enum class Delivery {
    Delivered, // 已送達: a query answered 0 (a reservation's 0 only when a query, not a cancellation, gave it)
    Pending,  // 處理中: an answer after which the row is asked again (under way, not yet known, the exchange failed)
    Reserved, // 預約中: a reservation not yet due
    Failed,   // 失敗: the send failed, or a query's answer says the message will not arrive
    NotAsked, // 未查詢: sent and never asked, or a run stopped before it asked
    Uncertain, // 不確定: the send went out and got no answer, or the gateway knows no such MsgId
};
constexpr int kDeliveryClasses = 6;

// The cells a class is read from (Big5, as the send log holds them).
struct DeliveryCells {
    QByteArray sendCode;
    QByteArray sendResult;
    int codeImage = -1; // the 傳送碼 cell's image: a reservation's marks it
    QByteArray queryCode;
    QByteArray queryResult;
};
Delivery ClassifyDelivery(const DeliveryCells& cells);

// Whether a later query may still change the class.
bool IsFinalDelivery(Delivery d);

// The cells of a send-log row as a class is read from them.
DeliveryCells DeliveryCellsOf(const SendLogRow& row);

// A row the follow-up asks about: its class is not final and the list query would ask about it (it was
// accepted and has a MsgId). `msgId` receives the MsgId.
bool IsUnsettled(const DeliveryCells& cells, QByteArray* msgId = nullptr);

// "已送達", "處理中", ... in the order of the enum.
QString DeliveryName(Delivery d);

// The count of each class over some rows.
class DeliveryCounts {
public:
    void add(Delivery d) { ++m_counts[std::size_t(d)]; }
    void remove(Delivery d) { --m_counts[std::size_t(d)]; }
    int count(Delivery d) const { return m_counts[std::size_t(d)]; }
    int total() const;
    // Share of all counted rows in per cent, 0 with no rows.
    double share(Delivery d) const;
    // "已送達 18 筆，處理中 1 筆，失敗 1 筆": the classes that have rows, in the enum's order; "沒有紀錄" for none.
    QString text() const;
    // The same parts, for a text that joins them its own way.
    QStringList parts() const;
    // "類別,筆數,比例" and one line per class (every class, even at 0), shares with one decimal, CRLF lines.
    QString csv() const;
    // {"已送達":18,...,"總計":20}: every class, then the total.
    QString json() const;
    bool operator==(const DeliveryCounts& other) const { return m_counts == other.m_counts; }

private:
    std::array<int, kDeliveryClasses> m_counts{};
};

} // namespace norvi
