#include "cli/CliCommands.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    return norvi::cli::Run(app.arguments().mid(1));
}
