#include "cli/CliCommands.h"

#include <QCoreApplication>

#include <malloc.h>

int main(int argc, char* argv[]) {
    // The C library raises its bar for giving a large block a mapping of its own to the largest block freed
    // so far; after that the list file's pieces and the duplicate check's table are cut from the heap, whose
    // holes a long send never hands back. A fixed bar keeps the memory of a send of a million rows level.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
    QCoreApplication app(argc, argv);
    return norvi::cli::Run(app.arguments().mid(1));
}
