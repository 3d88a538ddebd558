// Batch.h - the photos of one run of the tool: read, lifted and written in a
// pipeline.
//
// A batch is a pipeline of three steps on as many threads: while the engine
// works on one photo, the next one is decoded and the previous one encoded
// and written, so the file formats' single-threaded codecs hide behind the
// engine's run. With several processors two such pipelines (lanes) take the
// photos in turn, each engine on half the threads.
#pragma once

#include "Options.h"

#include <cstddef>
#include <string>
#include <vector>

namespace gw::cli {

/// One input and where its result goes; a non-empty m_error fails it before
/// it is read.
struct Job
{
    std::string m_input;
    std::string m_output;
    std::string m_error;
    bool m_bSkip = false; ///< --no-clobber and the output exists
};

/// How a batch ended.
struct BatchOutcome
{
    bool m_bFailed = false;      ///< a photo could not be read, lifted or written
    bool m_bInterrupted = false; ///< an interrupt stopped it; the photo in progress is not written
};

/// Works through the jobs that todo names, in any order; each failure is
/// reported with its file's name and the others go on.
BatchOutcome RunBatch(const std::vector<Job>& jobs, const std::vector<std::size_t>& todo,
                      const Options& options);

} // namespace gw::cli
