// bl-emissao: one copy per desktop, the entry window as main window, then the data module.

#include "BLApplication.h"
#include "Startup.h"

int main(int argc, char **argv)
{
    BLApplication app(argc, argv);
    return blapp::runProgram(app);
}
