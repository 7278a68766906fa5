// bl-tool: everything is in the library, so that a test program can run the same code.

#include "Commands.h"

int main(int argc, char *argv[])
{
    return bltool::main(argc, argv);
}
