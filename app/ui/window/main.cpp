#include "cglobal.h"
#include "cmemory.h"
#include "cwinapp.h"
#include "qcrashhandler.h"

int main(int argc, char* argv[])
{
    CMemory::keepFreedMemory();
    // First, so that a fault anywhere in start-up already leaves a report.
    QCrashHandler::install(QCrashHandler::programFolder(argv[0]), BRISEL_VERSION, CGlobal::getBuildDate());

    int exitCode = 0;
    {
        CWinApp app(argc, argv);
        exitCode = app.run();
    }
    return exitCode;
}
