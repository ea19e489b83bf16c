#pragma once

#include "gui/sendlog/FollowUp.h"

#include <QDialog>

class QPushButton;
class QSpinBox;

namespace norvi {

// 追蹤傳送結果: "每 N 分鐘查詢尚未確定的紀錄，直到全部確定或 M 小時後停止". 開始追蹤 accepts with the plan;
// while a follow-up runs, 停止追蹤 accepts with stopAsked().
class TFormFollowUp : public QDialog {
    Q_OBJECT
public:
    TFormFollowUp(const FollowUp::Plan& plan, bool running, QWidget* parent);
    FollowUp::Plan plan() const;
    bool stopAsked() const { return m_stopAsked; }

private:
    QSpinBox* m_every;
    QSpinBox* m_for;
    bool m_stopAsked = false;
};

} // namespace norvi
