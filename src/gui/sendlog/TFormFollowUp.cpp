#include "gui/sendlog/TFormFollowUp.h"

#include "gui/shared/FormControls.h"
#include "gui/shared/UiFont.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace norvi {

namespace {
QSpinBox* makeSpin(QWidget* parent, const char* name, int low, int high, int value) {
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(low, high);
    spin->setValue(value);
    return spin;
}
} // namespace

TFormFollowUp::TFormFollowUp(const FollowUp::Plan& plan, bool running, QWidget* parent)
    : QDialog(parent),
      m_every(makeSpin(this, "SpinEditEvery", FollowUp::kMinEvery, FollowUp::kMaxEvery, plan.everyMinutes)),
      m_for(makeSpin(this, "SpinEditFor", FollowUp::kMinFor, FollowUp::kMaxFor, plan.forHours)) {
    setObjectName(QStringLiteral("TFormFollowUp"));
    setWindowTitle(QStringLiteral("追蹤傳送結果"));
    applyFormFont(this);
    auto* sentence = new QHBoxLayout;
    sentence->addWidget(makeLabel(this, QStringLiteral("每(&E)"), m_every));
    sentence->addWidget(m_every);
    sentence->addWidget(new QLabel(QStringLiteral("分鐘查詢尚未確定的紀錄，直到全部確定或"), this));
    sentence->addWidget(m_for);
    // The Alt key of the hours sits on the word it counts, after the box.
    sentence->addWidget(makeLabel(this, QStringLiteral("小時(&H)後停止"), m_for));
    // Screen readers name each number by what it counts, not by the words around it.
    m_every->setAccessibleName(QStringLiteral("每幾分鐘查詢"));
    m_for->setAccessibleName(QStringLiteral("幾小時後停止"));

    QPushButton* startButton = makeButton(this, QStringLiteral("開始追蹤"), "ButtonStart");
    startButton->setDefault(true);
    QPushButton* cancelButton = makeButton(this, QStringLiteral("取消"), "ButtonCancel");
    QPushButton* stopButton = makeButton(this, QStringLiteral("停止追蹤"), "ButtonStop");
    stopButton->setEnabled(running);
    QDialogButtonBox* box = makeButtonBox(this, startButton, cancelButton, {stopButton});
    connect(startButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(stopButton, &QPushButton::clicked, this, [this] {
        m_stopAsked = true;
        accept();
    });

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sentence);
    layout->addWidget(box);
}

FollowUp::Plan TFormFollowUp::plan() const {
    return {m_every->value(), m_for->value()};
}

} // namespace norvi
