#include "Batch.h"

#include "CliPath.h"
#include "Console.h"
#include "Decode.h"
#include "FileIdentity.h"
#include "HeaderCheck.h"
#include "Messages.h"
#include "ProgressDisplay.h"
#include "Signals.h"
#include "StdoutRedirect.h"
#include "Streams.h"
#include "Threads.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace wavchorus_cli {
namespace {

constexpr auto kProgressDelay = std::chrono::milliseconds(200);

struct Job {
    std::string inShown;
    std::string outShown;
    std::optional<CliPath> in;  // nothing when not valid UTF-8
    std::optional<CliPath> out; // likewise
    std::optional<mavrel::FileIdentity> inFile;
    bool fifo = false;
    bool regular = false;
    std::uint64_t bytes = 0;              // a regular input's size
    Container container = Container::wav; // the output's, from its name
    // An earlier job whose output's name differs from this one's only in the
    // case of ASCII letters (a case-insensitive file system makes them one
    // file): this job waits until that one is done. jobs.size() when none.
    std::size_t caseTwin = 0;
};

// The file that a job's output is now; nothing when there is none.
std::optional<mavrel::FileIdentity> outputIdentity(const Job& job) {
    return job.out ? mavrel::identityOf(job.out->native) : std::nullopt;
}

// The usage errors of a batch's files, in the order of the arguments: two inputs
// with the same file name, an output that is another input or another output.
// Empty when there is none.
std::string planError(const std::vector<Job>& jobs) {
    for (const Job& job : jobs) {
        if (!containerFor(job.outShown)) {
            return unknownContainerText(job.outShown);
        }
    }
    std::map<std::string, std::size_t> byName;
    std::map<mavrel::FileIdentity, std::size_t> inputs;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        const auto [at, fresh] = byName.emplace(jobs[k].outShown, k);
        if (!fresh) {
            return "'" + jobs[at->second].inShown + "' and '" + jobs[k].inShown +
                   "' have the same file name: both would be written to '" + jobs[k].outShown + "'";
        }
        if (jobs[k].inFile) {
            inputs.emplace(*jobs[k].inFile, k);
        }
    }
    std::map<mavrel::FileIdentity, std::size_t> outputs;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        const std::optional<mavrel::FileIdentity> out = outputIdentity(jobs[k]);
        if (!out) {
            continue;
        }
        // An output that is its own input is processed in place, as in the
        // single-file form; one that is another input would destroy it.
        const auto input = inputs.find(*out);
        if (input != inputs.end() && input->second != k) {
            return "the output '" + jobs[k].outShown + "' of '" + jobs[k].inShown +
                   "' would overwrite the input '" + jobs[input->second].inShown + "'";
        }
        const auto [at, fresh] = outputs.emplace(*out, k);
        if (!fresh) {
            return "the outputs '" + jobs[at->second].outShown + "' and '" + jobs[k].outShown +
                   "' are the same file";
        }
    }
    return "";
}

// The case twins of the jobs (see Job::caseTwin).
void findCaseTwins(std::vector<Job>& jobs) {
    std::map<std::string, std::size_t> byFoldedName;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        std::string folded = jobs[k].outShown;
        for (char& c : folded) {
            c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
        const auto [at, fresh] = byFoldedName.emplace(folded, k);
        jobs[k].caseTwin = fresh ? jobs.size() : at->second;
        at->second = k;
    }
}

// The outputs that the run has written, by identity: two outputs that were no
// file yet when the run began may turn out to be one (on a case-insensitive
// file system, through a dangling symbolic link), and a batch never replaces
// a result of its own.
class WrittenOutputs {
  public:
    explicit WrittenOutputs(const std::vector<Job>& jobs) : jobs_(jobs), done_(jobs.size()) {}

    // Before job k runs: false, said, when its output is one that the run wrote.
    bool claim(std::size_t k) {
        std::unique_lock<std::mutex> lock(mutex_);
        const std::size_t twin = jobs_[k].caseTwin;
        jobDone_.wait(lock, [&] { return twin == jobs_.size() || done_[twin]; });
        const std::optional<mavrel::FileIdentity> out = outputIdentity(jobs_[k]);
        const auto earlier = out ? written_.find(*out) : written_.end();
        if (earlier == written_.end()) {
            return true;
        }
        say("cannot write '" + jobs_[k].outShown + "' for '" + jobs_[k].inShown +
            "': it is the file '" + jobs_[earlier->second].outShown + "', written from '" +
            jobs_[earlier->second].inShown + "' in this run");
        done_[k] = true;
        jobDone_.notify_all();
        return false;
    }

    // Once job k is done (written: it succeeded). False, said, when its output
    // turns out to have replaced one that the run wrote meanwhile.
    bool record(std::size_t k, bool written) {
        const std::lock_guard<std::mutex> lock(mutex_);
        done_[k] = true;
        jobDone_.notify_all();
        const std::optional<mavrel::FileIdentity> out =
            written ? outputIdentity(jobs_[k]) : std::nullopt;
        if (!out) {
            return written;
        }
        const auto [earlier, fresh] = written_.emplace(*out, k);
        if (!fresh) {
            say("'" + jobs_[k].outShown + "' for '" + jobs_[k].inShown + "' is the file '" +
                jobs_[earlier->second].outShown + "', written from '" +
                jobs_[earlier->second].inShown + "' at the same time, and has replaced it");
        }
        return fresh;
    }

  private:
    const std::vector<Job>& jobs_;
    std::mutex mutex_;
    std::condition_variable jobDone_;
    std::vector<bool> done_;
    std::map<mavrel::FileIdentity, std::size_t> written_;
};

// One file of the batch. The library names the file and the reason when it
// refuses one; what the library cannot see (a path it cannot take, a stream's
// header, a file it is not to read at fixed offsets) is said here, also in one line.
bool runJob(const Job& job, const Options& options) {
    if (!job.in) {
        say(job.inShown + ": the path is not valid UTF-8, which the library cannot take; "
                          "rename the file");
        return false;
    }
    StreamWarnings warnings([&job](const std::string& text) { warn(job.inShown, text); });
    std::string error;
    const auto cannotRead = [&job](const std::string& why) {
        say("cannot read input \"" + job.inShown + "\": " + why);
        return false;
    };
    InputStream stream;
    DecodedInput decoded;
    bool decoding = false;
    // Not the library's own layout: decoded, unless --raw asks for the
    // library's reading of it.
    const auto decode = [&](int spool) {
        if (!canDecode()) {
            return cannotRead(cannotDecodeReason());
        }
        if (!(spool >= 0 ? decoded.openDescriptor(spool, error)
                         : decoded.open(job.in->native, error))) {
            return cannotRead(error);
        }
        if (!options.quiet) {
            say(job.inShown + ": " + decoded.description());
        }
        if (const std::optional<Refusal> refusal = headerRefusal(decoded.header())) {
            return cannotRead(refusal->reason);
        }
        decoding = true;
        return true;
    };
    if (!job.fifo) {
        const std::optional<std::vector<std::uint8_t>> first =
            options.raw || !job.regular ? std::nullopt : firstBytesOf(job.in->native);
        if (first && !inLibraryLayout(*first, job.bytes)) {
            if (!decode(-1)) {
                return false;
            }
        } else if (job.regular) {
            warnings.pass();
            for (const std::string& warning : headerWarnings(job.in->native, job.bytes)) {
                warnings.sink()(warning);
            }
        }
    } else {
        if (!stream.open(&*job.in, warnings.sink(), error)) {
            return cannotRead(error);
        }
        const std::vector<std::uint8_t> header = stream.awaitHeader();
        if (!options.raw && !inLibraryLayout(header, std::nullopt)) {
            warnings.drop();
            const int spool = canDecode() ? spoolStream(stream.path(), error) : -1;
            if (!stream.finish(error) || (canDecode() && spool < 0)) {
                return cannotRead(error);
            }
            if (!decode(spool)) {
                return false;
            }
        } else {
            warnings.pass();
            if (const std::optional<Refusal> refusal = headerRefusal(header)) {
                (void)stream.finish(error);
                return cannotRead(refusal->reason);
            }
        }
    }
    EncodedOutput encoded;
    const bool encoding = decoding || job.container != Container::wav;
    if (encoding && !encoded.open(*job.out, job.container, job.fifo ? nullptr : &*job.in, error)) {
        say("cannot write \"" + job.outShown + "\": " + error);
        return false;
    }
    if (decoding && !decoded.start(error)) {
        return cannotRead(error);
    }
    const CliPath& libraryIn = decoding ? decoded.path() : job.fifo ? stream.path() : *job.in;
    const CliPath& libraryOut = encoding ? encoded.path() : *job.out;
    const bool written =
        WAVChorus(libraryIn.forLibrary.c_str(), libraryOut.forLibrary.c_str()) == WAVCHORUS_OK;
    std::string decodeError;
    const bool decodeOk = decoded.finish(decodeError);
    if (!encoded.finish(written && decodeOk, error)) {
        say("cannot write \"" + job.outShown + "\": " + error);
        return false;
    }
    if (!decodeOk) {
        return cannotRead(decodeError + "; its output '" + job.outShown + "' was not written");
    }
    if (job.fifo && !decoding && !stream.finish(error)) {
        say("cannot read input \"" + job.inShown + "\": " + error + "; its output '" +
            job.outShown + "' holds silence from there to its declared length");
        return false;
    }
    return written;
}

} // namespace

int runBatch(const Options& options) {
    const std::string& dirText = *options.targetDirectory;
    const std::optional<CliPath> dir = cliPath(dirText);
    std::error_code ec;
    if (!dir || !std::filesystem::is_directory(dir->native, ec)) {
        return usageError("target '" + dirText + "' is not an existing directory");
    }

    std::vector<Job> jobs(options.operands.size());
    std::uint64_t bytesTotal = 0;
    for (std::size_t k = 0; k < jobs.size(); ++k) {
        Job& job = jobs[k];
        job.inShown = options.operands[k];
        const std::string name = fileNameOf(job.inShown);
        if (name.empty()) {
            return usageError("'" + job.inShown + "' has no file name to give its output");
        }
        job.outShown = joinPath(dirText, name);
        job.in = cliPath(job.inShown);
        job.out = cliPath(job.outShown);
        job.container = containerFor(job.outShown).value_or(Container::wav);
        if (job.in) {
            if (const std::optional<mavrel::FileStatus> status = mavrel::statusOf(job.in->native)) {
                job.inFile = status->identity;
                job.fifo = status->kind == mavrel::FileStatus::Kind::fifo;
                job.regular = status->kind == mavrel::FileStatus::Kind::regular;
                job.bytes = status->size;
                bytesTotal += job.bytes;
            }
        }
    }
    if (const std::string error = planError(jobs); !error.empty()) {
        return usageError(error);
    }
    findCaseTwins(jobs);
    WrittenOutputs writtenOutputs(jobs);

    const unsigned jobsWanted =
        options.jobs != 0 ? options.jobs : std::max(1U, std::thread::hardware_concurrency());
    const std::size_t workerCount = std::min<std::size_t>(jobsWanted, jobs.size());

    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> done{0};
    std::atomic<std::size_t> failed{0};
    std::atomic<std::uint64_t> bytesDone{0};
    // Until the last FIFO is done, the bytes still to come are not known.
    std::atomic<std::size_t> fifosLeft{static_cast<std::size_t>(
        std::count_if(jobs.begin(), jobs.end(), [](const Job& job) { return job.fifo; }))};

    std::optional<ProgressDisplay> progress;
    if (!options.noProgress) {
        progress.emplace(kProgressDelay, [&] {
            return ProgressCounts{.filesDone = done.load(),
                                  .filesTotal = jobs.size(),
                                  .bytesDone = bytesDone.load(),
                                  .bytesTotal = fifosLeft.load() == 0 ? bytesTotal : 0};
        });
    }
    StdoutRedirect reports(options.quiet ? StdoutRedirect::To::nowhere
                                         : StdoutRedirect::To::unchanged);
    if (!reports.ok()) {
        say("cannot redirect the reports: " + console::lastErrorText());
        return 1;
    }

    const auto work = [&] {
        // A stop waits until this worker is past naming an output.
        const StopWaitsForThread waited;
        for (std::size_t k = next++; k < jobs.size(); k = next++) {
            if (!writtenOutputs.claim(k) || !writtenOutputs.record(k, runJob(jobs[k], options))) {
                ++failed;
            }
            bytesDone += jobs[k].bytes;
            fifosLeft -= jobs[k].fifo ? 1 : 0;
            ++done;
        }
    };
    std::vector<std::thread> workers;
    workers.reserve(workerCount);
    for (std::size_t w = 0; w < workerCount; ++w) {
        workers.push_back(startHelperThread(work));
    }
    for (std::thread& t : workers) {
        t.join();
    }
    reports.restore();
    if (progress) {
        progress->stop();
    }

    const std::size_t failures = failed.load();
    if (!options.quiet || failures > 0) {
        say(std::to_string(jobs.size()) + (jobs.size() == 1 ? " file: " : " files: ") +
            std::to_string(jobs.size() - failures) + " written, " + std::to_string(failures) +
            " failed");
    }
    return failures == 0 ? 0 : 1;
}

} // namespace wavchorus_cli
