#pragma once

#include "GatewaySimulator.h"
#include "core/addressbook/AddressBook.h"
#include "core/addressbook/BookFile.h"
#include "core/sendlog/LogFile.h"
#include "core/shared/Big5.h"
#include "core/shared/Config.h"
#include "core/shared/FixedField.h"
#include "support/BookRecords.h"
#include "support/CsvReader.h"
#include "support/FileBytes.h"
#include "support/RawTcpServer.h"
#include "support/StartFolder.h"
#include "support/TestText.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

namespace norvi::test {

struct CliRun {
    int exitCode = -1;
    QByteArray stdoutBytes;
    QString out;
    QString err;

    // The printed send-log rows: the lines with eight tab-separated columns.
    QList<QStringList> rows() const {
        QList<QStringList> result;
        for (const QString& line : out.split(QLatin1Char('\n'))) {
            const QStringList columns = line.split(QLatin1Char('\t'));
            if (columns.size() == kSendLogColumns)
                result.append(columns);
        }
        return result;
    }
};

// Whether `text` holds `part`; on failure the message shows the whole text, so a check is one line.
inline ::testing::AssertionResult says(const QString& text, const QString& part) {
    if (text.contains(part))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << part.toStdString() << "\" in:\n" << text.toStdString();
}
inline ::testing::AssertionResult saysNot(const QString& text, const QString& part) {
    if (!text.contains(part))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "\"" << part.toStdString() << "\" in:\n" << text.toStdString();
}

// One command line of a scenario and what it must come to.
struct CliStep {
    QStringList args;
    int exitCode;
    std::vector<TestText> err = {};            // each is on standard error
    std::vector<TestText> out = {};            // each is on standard output
    int sent = -1;                             // send requests the gateway has had once the step ends (-1: not checked)
    std::vector<TestText> notErr = {};         // none is on standard error
    std::function<void(QProcess&)> setup = {}; // changes the process before it starts
    std::function<void()> before = {};         // changes the start folder before the step
};

// Waits until `signal`, sent to the process `pid`, is no longer pending there: the program has taken it.
// Two signals of one kind sent closer together than that reach the program as one.
inline bool waitUntilTaken(qint64 pid, int signal, int ms = 10000) {
    const quint64 bit = quint64(1) << (signal - 1);
    const auto pending = [pid, bit] {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray& line : status.readAll().split('\n'))
            if ((line.startsWith("SigPnd:") || line.startsWith("ShdPnd:")) &&
                (line.mid(7).trimmed().toULongLong(nullptr, 16) & bit) != 0)
                return true;
        return false;
    };
    return QTest::qWaitFor([&] { return !pending(); }, ms);
}

// `count` mobile numbers of ten digits, `prefix` then 10, 11, ...
inline QStringList numbers(int count, const QString& prefix = QStringLiteral("09120000")) {
    QStringList out;
    for (int i = 0; i < count; ++i)
        out << prefix + QString::number(10 + i);
    return out;
}

// The --at text of a time this far from now, to the minute.
inline QString reservationTime(qint64 secondsFromNow) {
    return QDateTime::currentDateTime().addSecs(secondsFromNow).toString(QStringLiteral("yyyyMMddHHmm"));
}

// norvi-cli runs as a child process against a gateway simulator inside the test process, with a
// temporary start folder whose NorviSMSAp.cfg points at the simulator.
class CliTest : public ::testing::Test {
protected:
    AddressBook book;
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        gwsim::SimOptions options;
        options.deliverAfterSeconds = 0;
        restartSim(options);
        // No quiet hours: a test that sends at whatever hour it runs gets no night warning. The tests of the
        // quiet hours write their own NorviSMSAp.ini.
        writeFile("NorviSMSAp.ini", "[QuietHours]\nenabled=false\n");
    }

    // Replaces the simulator with one started with `options` on a port of its own, and points the
    // configuration at it.
    void restartSim(gwsim::SimOptions options) {
        sim.reset();
        options.port = 0;
        sim = std::make_unique<gwsim::GatewaySimulator>(options);
        QString error;
        ASSERT_TRUE(sim->start(&error)) << error.toStdString();
        writeConfig("demo");
    }

    void writeConfig(const QByteArray& password) {
        ASSERT_TRUE(
            m_dir.writeConfig({QFile::encodeName(path("logfiles")), "127.0.0.1", sim->port(), "demo", password}));
    }

    QString path(const TestText& name) const { return QDir(m_dir.path()).filePath(name); }

    // `setup` changes the process before it starts (its folder, where its output goes).
    CliRun run(std::initializer_list<TestText> args, const QString& startDir = QString(),
               const std::function<void(QProcess&)>& setup = {}) const {
        return run(textList(args), startDir, setup);
    }
    CliRun run(const QStringList& args, const QString& startDir = QString(),
               const std::function<void(QProcess&)>& setup = {}) const {
        QProcess process;
        process.setProgram(QStringLiteral(NORVI_CLI_PATH));
        process.setArguments(QStringList{QStringLiteral("-C"), startDir.isEmpty() ? m_dir.path() : startDir} + args);
        if (setup)
            setup(process);
        process.start();
        CliRun result;
        if (!process.waitForStarted(10000) || !process.waitForFinished(50000)) {
            process.kill();
            process.waitForFinished(5000);
            ADD_FAILURE() << "norvi-cli did not finish: " << args.join(QLatin1Char(' ')).toStdString();
            return result;
        }
        result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        result.stdoutBytes = process.readAllStandardOutput();
        result.out = QString::fromUtf8(result.stdoutBytes);
        result.err = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    // norvi-cli started in the background, for tests that signal it or watch it mid-run.
    void startCli(QProcess& process, const QStringList& args) const {
        process.setProgram(QStringLiteral(NORVI_CLI_PATH));
        process.setArguments(QStringList{QStringLiteral("-C"), m_dir.path()} + args);
        process.start();
        ASSERT_TRUE(process.waitForStarted(10000));
    }
    // Signals a started norvi-cli; false once it has ended (its process id is then 0, which would signal
    // this test's whole process group).
    static bool signalCli(const QProcess& process, int signal) {
        const qint64 pid = process.processId();
        return pid > 0 && ::kill(pid_t(pid), signal) == 0;
    }

    // Sends "hi" to `numbers` with `extra` options into `log`; the send must succeed.
    void sendTo(const QString& log, const QStringList& numbers, const QStringList& extra = {}) const {
        const CliRun sent = run(textList({"send", "--text", "hi", "--log", log}) + extra + numbers);
        ASSERT_EQ(sent.exitCode, 0) << sent.err.toStdString();
    }

    // Runs the steps in order, each checked against what it must come to.
    void runSteps(const std::vector<CliStep>& steps) const {
        for (const CliStep& step : steps) {
            SCOPED_TRACE(step.args.join(QLatin1Char(' ')).toStdString());
            if (step.before)
                step.before();
            const CliRun r = run(step.args, QString(), step.setup);
            EXPECT_EQ(r.exitCode, step.exitCode) << r.err.toStdString();
            for (const TestText& part : step.err)
                EXPECT_TRUE(says(r.err, part));
            for (const TestText& part : step.out)
                EXPECT_TRUE(says(r.out, part));
            for (const TestText& part : step.notErr)
                EXPECT_TRUE(saysNot(r.err, part));
            if (step.sent >= 0) {
                EXPECT_EQ(sendRequests(), step.sent);
            }
        }
    }

    // A whole send log of `rows` at `file`.
    static void writeLog(const QString& file, const std::vector<SendLogRow>& rows) {
        LogFileWriter writer(file);
        ASSERT_TRUE(writer.open(qint32(rows.size())));
        for (const SendLogRow& row : rows)
            writer.write(row);
        ASSERT_TRUE(writer.commit());
    }

    void writeFile(const TestText& name, const QByteArray& bytes) const { writeAll(path(name), bytes); }

    int sendRequests() const { return int(sentNumbers().size()); }

    // The number of every send request the simulator received, in order.
    std::vector<QByteArray> sentNumbers() const {
        std::vector<QByteArray> numbers;
        for (const sGwRequest& r : sim->requests())
            if (r.msg_type == GwSendDomestic || r.msg_type == GwSendInternational)
                numbers.emplace_back(r.msg_params, qstrnlen(r.msg_params, sizeof r.msg_params));
        return numbers;
    }

    // The requests of one type the simulator received.
    int requestsOf(uint8_t type) const {
        int n = 0;
        for (const sGwRequest& r : sim->requests())
            n += r.msg_type == type ? 1 : 0;
        return n;
    }

    // Waits until the simulator has had `count` requests of `type`.
    void waitForRequests(uint8_t type, int count) const {
        (void)QTest::qWaitFor([&] { return !(requestsOf(type) < count); }, 20000);
        ASSERT_GE(requestsOf(type), count);
    }

    // How many send requests each number got since the `from`th.
    std::map<QByteArray, int> sendsSince(std::size_t from) const {
        std::map<QByteArray, int> sends;
        const std::vector<QByteArray> all = sentNumbers();
        for (std::size_t i = from; i < all.size(); ++i)
            ++sends[all[i]];
        return sends;
    }

    // The members of the saved address book as (name, number, note), by id.
    using Member = std::tuple<QByteArray, QByteArray, QByteArray>;
    std::vector<Member> members() {
        book.clear();
        EXPECT_TRUE(LoadAddressBook(book, path(QStringLiteral("AddressBook.bin"))).ok);
        std::vector<Member> list;
        for (const auto& [id, m] : book.MemberMap())
            list.emplace_back(getField(m.name), getField(m.msisdn), getField(m.desc));
        return list;
    }

    QByteArray readBytes(const TestText& name) const { return readAll(path(name)); }

    static std::set<QString> column(const QList<QStringList>& rows, int c) {
        std::set<QString> values;
        for (const QStringList& r : rows)
            values.insert(r.at(c));
        return values;
    }

    StartFolder m_dir;
    std::unique_ptr<gwsim::GatewaySimulator> sim;
};

} // namespace norvi::test
