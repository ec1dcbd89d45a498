// Copies files into a folder with the file operation engine, replacing what is there; the kill
// test runs it and kills it at random moments. Arguments: target folder, source files.
#include "LinuxFileOperation.h"
#include "core/platform/FileNames.h"

#include <QCoreApplication>

int main(int argc, char** argv)
{
    using namespace kiv::pf;
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    const IFileOperationPtr op = lnx::CreateLinuxFileOperation();
    op->SetOperationFlags(fof::FOF_NOCONFIRMATION | fof::FOF_SILENT);
    QStringList sources;
    for (int i = 2; i < argc; ++i)
        sources << DecodeFileName(argv[i]);
    op->CopyItems(sources, DecodeFileName(argv[1]));
    return op->PerformOperations() == S_OK ? 0 : 1;
}
