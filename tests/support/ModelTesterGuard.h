#pragma once

// A guard that fails the running test on any complaint of QAbstractItemModelTester about the models it
// watches.

#include <QAbstractItemModelTester>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace lunorvale::test {

// Fails the running test on every warning of the item-model tester while it lives.
class ModelTesterGuard final {
public:
    ModelTesterGuard() { s_previous = qInstallMessageHandler(&ModelTesterGuard::handle); }
    ~ModelTesterGuard() { qInstallMessageHandler(s_previous); }
    void watch(QAbstractItemModel* model) {
        m_testers.push_back(std::make_unique<QAbstractItemModelTester>(
            model, QAbstractItemModelTester::FailureReportingMode::Warning));
    }

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (type >= QtWarningMsg && context.category && QByteArray(context.category) == "qt.modeltest")
            ADD_FAILURE() << message.toStdString();
        else if (s_previous)
            s_previous(type, context, message);
    }
    static inline QtMessageHandler s_previous = nullptr;
    std::vector<std::unique_ptr<QAbstractItemModelTester>> m_testers;
};

} // namespace lunorvale::test
