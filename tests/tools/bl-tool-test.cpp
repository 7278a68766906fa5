// bl-tool as the tests run it: the same code as the shipped program, with the I/O fault that
// BL_IO_FAULT names ("kill:N", "enospc:N" or "eio:N") armed first. Only tests build this.

#include "Commands.h"
#include "IoFaults.h"

#include <QByteArray>

int main(int argc, char *argv[])
{
    pxtest::installFault(qgetenv("BL_IO_FAULT"));
    return bltool::main(argc, argv);
}
