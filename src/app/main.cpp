#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QString::fromUtf8("Norvi簡訊服務軟體"));
    window.resize(641, 374);
    window.show();
    return app.exec();
}
