// The time and peak memory (maximum resident set) of reading a workbook's first sheet: 100,000 rows of a
// number, a name and a text of some 60 characters, read as the recipient list's rows are, in a fresh process so
// the peak is the reader's own. Written first with the program's own writer. Not a benchmark loop: it prints
// the figures.
//
//   SheetReaderBench [--rows N]

#include "core/compose/ListFileSheet.h"
#include "core/shared/XlsxWriter.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

using namespace norvi;

int readInChild(const QString& path) {
    ListFileSheet sheet;
    if (!sheet.open(path)) {
        std::printf("refused: %s\n", sheet.error().toUtf8().constData());
        return 1;
    }
    QByteArray line;
    qint64 index = 0;
    qint64 rows = 0;
    qint64 bytes = 0;
    while (sheet.next(&line, &index)) {
        ++rows;
        bytes += line.size();
    }
    if (!sheet.error().isEmpty()) {
        std::printf("refused: %s\n", sheet.error().toUtf8().constData());
        return 1;
    }
    std::printf("%lld rows, %lld bytes of lines\n", static_cast<long long>(rows), static_cast<long long>(bytes));
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return readInChild(QString::fromLocal8Bit(argv[2]));
    int rows = 100000;
    if (argc == 3 && std::strcmp(argv[1], "--rows") == 0)
        rows = std::atoi(argv[2]);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("list.xlsx"));
    std::vector<QStringList> table;
    table.reserve(std::size_t(rows));
    for (int i = 0; i < rows; ++i)
        table.push_back({QStringLiteral("09%1").arg(i, 8, 10, QLatin1Char('0')), QStringLiteral("王小明%1").arg(i),
                         QStringLiteral("您好，這是第 %1 位受訊者的訊息，請於本月底前完成繳費，謝謝。").arg(i)});
    QString error;
    QElapsedTimer writing;
    writing.start();
    if (!WriteXlsxTable(path, {QStringLiteral("行動電話"), QStringLiteral("姓名"), QStringLiteral("訊息")}, table,
                        &error)) {
        std::printf("write failed: %s\n", error.toUtf8().constData());
        return 1;
    }
    std::printf("wrote %d rows in %lld ms, %lld bytes\n", rows, static_cast<long long>(writing.elapsed()),
                static_cast<long long>(QFileInfo(path).size()));
    table.clear();
    std::fflush(stdout);
    QElapsedTimer timer;
    timer.start();
    const pid_t child = fork();
    if (child == 0) {
        const QByteArray local = path.toLocal8Bit();
        execl(argv[0], argv[0], "--child", local.constData(), static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    std::printf("read in %lld ms, peak %ld MB\n", static_cast<long long>(timer.elapsed()), usage.ru_maxrss / 1024);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
