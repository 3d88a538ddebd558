// gwdeploy.cpp - the setup's silent part: puts the plug-in into every editor
// the installer dialog would list, as its OK would, or takes away every copy
// that was recorded.
//
// Usage: gwdeploy.exe install|remove [REPORT-FILE]
//   Each copy, removal and failure is a line on standard output and, when
//   given, appended to REPORT-FILE. Exit code 0 when everything succeeded,
//   1 when something failed, 2 for a wrong command line.
#include "Deployment.h"

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

struct FileCloser
{
    void operator()(std::FILE* pFile) const noexcept { std::fclose(pFile); }
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3
        || (std::strcmp(argv[1], "install") != 0 && std::strcmp(argv[1], "remove") != 0))
    {
        std::fprintf(stderr, "usage: gwdeploy.exe install|remove [REPORT-FILE]\n");
        return 2;
    }
    const bool bInstall = std::strcmp(argv[1], "install") == 0;
    // The report goes to a temporary buffer first, then to both places.
    std::unique_ptr<std::FILE, FileCloser> pBuffer(std::tmpfile());
    std::FILE* pReport = pBuffer ? pBuffer.get() : stdout;
    const int nFailures =
        bInstall ? plugferry::DeployToAllHosts(pReport) : plugferry::RemoveRecordedCopies(pReport);
    if (pBuffer) {
        std::unique_ptr<std::FILE, FileCloser> pFile(argc == 3 ? std::fopen(argv[2], "a")
                                                               : nullptr);
        std::rewind(pBuffer.get());
        char szLine[2048];
        while (std::fgets(szLine, sizeof(szLine), pBuffer.get()) != nullptr) {
            std::fputs(szLine, stdout);
            if (pFile) {
                std::fputs(szLine, pFile.get());
            }
        }
    }
    std::printf("%s: %d failure(s)\n", bInstall ? "install" : "remove", nFailures);
    return nFailures == 0 ? 0 : 1;
}
