#pragma once

#include <QAbstractItemModel>
#include <QAbstractItemModelTester>

namespace norvi::test {

// A model with Qt's model tester attached: every signal the model sends (rows inserted or removed, a
// reset, a layout change, changed data or captions) is checked against what the model reports at that
// moment, so a view kept up to date by those signals would see what the model holds. A broken signal
// ends the case at once with the tester's reason.
template <typename Model> class CheckedModel : public Model {
public:
    using Model::Model;

private:
    QAbstractItemModelTester m_tester{this, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

// Attaches the model tester to every model of type Model below `owner` (a window's lists) that has none
// yet; the tester lives as long as its model.
template <typename Model> void checkModelsOf(QObject* owner) {
    for (Model* model : owner->findChildren<Model*>())
        if (!model->template findChild<QAbstractItemModelTester*>(QString(), Qt::FindDirectChildrenOnly))
            new QAbstractItemModelTester(model, QAbstractItemModelTester::FailureReportingMode::Fatal, model);
}

} // namespace norvi::test
