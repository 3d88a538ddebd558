// FileUtil.h - the small file owners shared by the image readers and writers.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace gw::cli {

struct FileCloser
{
    void operator()(std::FILE* pFile) const noexcept { std::fclose(pFile); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

/// Opens a file for binary reading; throws CImageFileError naming the file and
/// the system's reason when it cannot.
UniqueFile OpenForReading(const std::string& path);

/// A file being written: the bytes go to a temporary file beside the target,
/// which Commit() renames onto the target once everything is written. Until then
/// an existing target is untouched; an object destroyed without Commit() removes
/// its temporary file.
class CPendingFile
{
public:
    explicit CPendingFile(const std::string& target);
    ~CPendingFile();
    CPendingFile(const CPendingFile&) = delete;
    CPendingFile& operator=(const CPendingFile&) = delete;

    std::FILE* Get() const noexcept { return m_pFile.get(); }
    const std::string& Target() const noexcept { return m_target; }
    const std::string& TemporaryPath() const noexcept { return m_temporary; }

    /// Flushes and closes the temporary file (once; Commit does it if still
    /// open); throws CImageFileError on any write error.
    void Close();

    /// Closes if still open and renames; throws CImageFileError on any write error.
    void Commit();

private:
    std::string m_target;
    std::string m_temporary;
    UniqueFile m_pFile;
    bool m_bCommitted = false;
};

/// "PATH: TEXT" for the user, in one place so all messages read alike.
std::string FileMessage(const std::string& path, const std::string& text);

} // namespace gw::cli
