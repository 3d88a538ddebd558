// FileUtil.cpp - file owners of the image readers and writers.
#include "FileUtil.h"

#include "ImageFile.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace gw::cli {

std::string FileMessage(const std::string& path, const std::string& text)
{
    return path + ": " + text;
}



UniqueFile OpenForReading(const std::string& path)
{
    UniqueFile pFile(std::fopen(path.c_str(), "rb"));
    if (!pFile) {
        throw CImageFileError(
            FileMessage(path, std::string("cannot open: ") + std::strerror(errno)));
    }
    return pFile;
}



CPendingFile::CPendingFile(const std::string& target)
    : m_target(target)
    , m_temporary(target + ".partial-" + std::to_string(static_cast<long>(getpid())))
{
    m_pFile.reset(std::fopen(m_temporary.c_str(), "wb"));
    if (!m_pFile) {
        throw CImageFileError(
            FileMessage(target, std::string("cannot create: ") + std::strerror(errno)));
    }
}



CPendingFile::~CPendingFile()
{
    if (!m_bCommitted) {
        m_pFile.reset();
        std::remove(m_temporary.c_str());
    }
}



void CPendingFile::Close()
{
    if (!m_pFile) {
        return;
    }
    std::FILE* pFile = m_pFile.release();
    const bool bWriteError = std::ferror(pFile) != 0;
    const int nCloseResult = std::fclose(pFile);
    const int nError = errno;
    if (bWriteError || nCloseResult != 0) {
        throw CImageFileError(
            FileMessage(m_target, std::string("write failed: ")
                                      + (nCloseResult != 0 ? std::strerror(nError) : "I/O error")));
    }
}



void CPendingFile::Commit()
{
    Close();
    if (std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        throw CImageFileError(
            FileMessage(m_target, std::string("cannot replace: ") + std::strerror(errno)));
    }
    m_bCommitted = true;
}

} // namespace gw::cli
