// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// halcyra-decode: decodes packet logs of any length into the CSV files the
// window writes, streaming.

#include "archive.h"
#include "archiveio.h"
#include "batch.h"
#include "csv.h"
#include "limitcheck.h"
#include "options.h"
#include "outputset.h"
#include "station.h"
#include "version.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

namespace {

using halcyra::kDecodeProgram;
using halcyra::message;
constexpr std::size_t kReadSize = 64 * 1024;

enum ExitStatus { kSuccess = 0, kFileFailure = 1, kUsageError = 2 };

std::string displayName(const std::string &log)
{
    return log == "-" ? "standard input" : log;
}

// Returns the usage error, or an empty text. Both outputs into one file would
// lose one of them; an output that is a log would be destroyed by the run.
std::string checkFiles(const halcyra::DecodeOptions &o)
{
    if (o.t1Path == "-" && o.t2Path == "-")
        return "--t1 and --t2 name the same file";
    std::vector<std::pair<std::string, halcyra::FileIdentity>> outputs;
    for (const auto &[option, path] : {std::pair{"--t1", &o.t1Path}, std::pair{"--t2", &o.t2Path}}) {
        if (!path->empty())
            outputs.emplace_back(*path == "-" ? "standard output" : option,
                                 halcyra::identifyFile(*path, STDOUT_FILENO));
    }
    if (outputs.size() == 2 && halcyra::sameFile(outputs[0].second, outputs[1].second))
        return "--t1 and --t2 name the same file";
    if (std::string error = halcyra::checkArchiveFiles(o); !error.empty())
        return error;
    for (const std::string &log : o.logs) {
        const halcyra::FileIdentity input = halcyra::identifyFile(log, STDIN_FILENO);
        for (const auto &[name, output] : outputs) {
            if (halcyra::sameFile(output, input))
                return name + " names a log to decode: " + displayName(log);
        }
    }
    return {};
}

// Without outputs the T1 records go to standard output; without logs,
// standard input is read.
void takeDefaults(halcyra::DecodeOptions &options)
{
    if (options.t1Path.empty() && options.t2Path.empty() && !options.archive.given)
        options.t1Path = "-";
    if (options.logs.empty() && !options.fromArchive.given)
        options.logs.emplace_back("-");
}

// A closed descriptor 0, 1 or 2 would be taken by the next file the program
// opens: a temporary output would then be read as the log, or receive what
// belongs to standard output. So each is opened to /dev/null, and the program
// remembers that the stream was closed.
struct ClosedStreams {
    bool input = false;
    bool output = false;
    bool error = false;
};

bool openClosedStreams(ClosedStreams &closed)
{
    bool *const wasClosed[] = {&closed.input, &closed.output, &closed.error};
    for (int fd = 0; fd < 3; ++fd) {
        if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        *wasClosed[fd] = true;
        // The lowest free descriptor: this one, as the lower ones are open.
        if (::open("/dev/null", O_RDWR) != fd)
            return false;
    }
    return true;
}

std::string closedReason()
{
    return std::strerror(EBADF);
}

// The decimal separator of the locale the environment names (LC_ALL,
// LC_NUMERIC, LANG), by the rule the window follows too.
char localeDecimalSeparator()
{
    if (!std::setlocale(LC_NUMERIC, "")) {
        message("the locale of the environment is not available; numbers keep the decimal point");
        return '.';
    }
    const char *point = std::localeconv()->decimal_point;
    const std::string_view text = point ? point : "";
    const char separator = halcyra::decimalSeparatorFor(text);
    if (separator == '.' && text != ".")
        message("the locale's decimal separator \"" + std::string(text) +
                "\" cannot be written in a field; numbers keep the decimal point");
    return separator;
}

// A decoding thread per processor the program may run on, up to four: the main
// thread splits, scans and writes several times faster than one thread
// decodes, and more threads would only hold more blocks of the log.
unsigned decodingThreads()
{
    cpu_set_t set;
    CPU_ZERO(&set);
    const int allowed = ::sched_getaffinity(0, sizeof set, &set) == 0 ? CPU_COUNT(&set) : 0;
    const unsigned n = allowed > 0 ? static_cast<unsigned>(allowed) : std::thread::hardware_concurrency();
    return std::clamp(n, 1U, 4U);
}

class FileSink : public halcyra::CsvSink {
public:
    explicit FileSink(halcyra::OutputFile &file) : file_(file) {}
    void write(std::string_view text) override { file_.write(text); }
    void write(std::string_view first, std::string_view second) override { file_.write(first, second); }

private:
    halcyra::OutputFile &file_;
};

std::unique_ptr<FileSink> sinkFor(halcyra::OutputFile *file)
{
    return file ? std::make_unique<FileSink>(*file) : nullptr;
}

// Feeds one log to the decoder; false with the reason when it could not be
// read to its end (what was read is decoded all the same).
bool decodeLog(const std::string &name, bool inputClosed, halcyra::BatchDecoder &decoder,
               halcyra::ArchiveImport *archive, std::vector<char> &buffer, const halcyra::OutputSet &outputs,
               std::string &error)
{
    if (archive)
        archive->beginLog(name);
    const bool standardInput = name == "-";
    if (standardInput && inputClosed) {
        error = closedReason();
        return false;
    }
    const int fd = standardInput ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = std::strerror(errno);
            ok = false;
            break;
        }
        if (n == 0)
            break;
        decoder.feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        if (archive)
            archive->feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        if (!archive && outputs.anyFailed()) // no use reading on
            break;
    }
    if (!standardInput)
        ::close(fd);
    return ok;
}

// Prints the counts; false when they could not be written.
bool printSummary(const halcyra::FrameCounts &c, bool errorClosed)
{
    if (errorClosed)
        return false;
    const int n = std::fprintf(stderr,
                               "T1 frames: %llu\n"
                               "T2 frames: %llu\n"
                               "lines with a frame tag but the wrong length: %llu (T1 %llu, T2 %llu)\n",
                               static_cast<unsigned long long>(c.t1Frames), static_cast<unsigned long long>(c.t2Frames),
                               static_cast<unsigned long long>(c.t1WrongLength + c.t2WrongLength),
                               static_cast<unsigned long long>(c.t1WrongLength),
                               static_cast<unsigned long long>(c.t2WrongLength));
    return n >= 0 && std::fflush(stderr) == 0;
}

// Reads every log into the decoder and the archive; the exit status so far.
int decodeLogs(const halcyra::DecodeOptions &options, bool inputClosed, halcyra::BatchDecoder &decoder,
               halcyra::ArchiveImport *archive, const halcyra::OutputSet &outputs)
{
    int status = kSuccess;
    std::vector<char> buffer(kReadSize);
    std::uint64_t overlongBefore = 0;
    for (const std::string &log : options.logs) {
        if (!archive && outputs.anyFailed())
            break;
        std::string error;
        if (!decodeLog(log, inputClosed, decoder, archive, buffer, outputs, error)) {
            message(displayName(log) + ": " + error);
            status = kFileFailure;
        }
        const std::uint64_t overlong = decoder.overlongLines();
        if (overlong != overlongBefore) {
            message(displayName(log) + ": " + std::to_string(overlong - overlongBefore) +
                    " line(s) longer than 1 MiB skipped");
            status = kFileFailure;
            overlongBefore = overlong;
        }
    }
    decoder.finish();
    if (archive && !archive->finish())
        status = kFileFailure;
    if (decoder.overlongLines() != overlongBefore) { // the text's last line
        message(displayName(options.logs.back()) + ": a line longer than 1 MiB skipped");
        status = kFileFailure;
    }

    return status;
}

halcyra::BatchSettings batchSettings(const halcyra::DecodeOptions &options)
{
    halcyra::BatchSettings settings;
    settings.withTime = options.withTime;
    settings.threads = decodingThreads();
    if (options.useLocale)
        settings.decimalSeparator = localeDecimalSeparator();
    return settings;
}

int printHelpOrVersion(const CLI::App &app, bool help, bool outputClosed)
{
    if (outputClosed) {
        message("standard output: " + closedReason());
        return kFileFailure;
    }
    if (help)
        std::fputs(app.help().c_str(), stdout);
    else
        std::printf("%s %s\n%s\n", kDecodeProgram, halcyra::kVersion, halcyra::kVersionNote);
    return std::fflush(stdout) == 0 ? kSuccess : kFileFailure;
}

} // namespace

int main(int argc, char **argv)
{
    ClosedStreams closed;
    if (!openClosedStreams(closed))
        return kFileFailure; // no way left to report it

    halcyra::archive::ConcealedArguments arguments(argc, argv);

    halcyra::DecodeOptions options;
    CLI::App app;
    halcyra::describeOptions(app, options);
    try {
        halcyra::parseCommandLine(app, argc, arguments.argv());
    } catch (const CLI::ParseError &error) {
        app.exit(error); // prints the usage error
        return kUsageError;
    }
    if (options.help || options.version)
        return printHelpOrVersion(app, options.help, closed.output);
    if (!options.follow.empty() || !options.config.empty())
        return halcyra::runStation(options);
    if (options.checkLimits.given) {
        if (options.logs.empty() && !options.fromArchive.given)
            options.logs.emplace_back("-");
        return halcyra::checkLimits(options, closed.input, closed.output);
    }
    takeDefaults(options);
    if (const std::string error = checkFiles(options); !error.empty()) {
        std::fputs(halcyra::usageText(error).c_str(), stderr);
        return kUsageError;
    }

    const halcyra::BatchSettings settings = batchSettings(options);

    // A reader that stops early (`| head`) ends a decoding silently, as it
    // ends any filter. An import must not end with it: the frames still to
    // come would be lost to the archive without a word. With --archive the
    // closed output is a failed write instead, reported with the exit status
    // 1, and every frame is archived.
    if (options.archive.given)
        std::signal(SIGPIPE, SIG_IGN);
    halcyra::installCleanupOnSignals();
    if (options.fromArchive.given)
        return halcyra::writeFromArchive(options, settings, closed.output);

    halcyra::OutputSet outputs;
    if (!outputs.open(options, closed.output))
        return kFileFailure;
    const std::unique_ptr<FileSink> t1Sink = sinkFor(outputs.file(halcyra::FrameKind::T1));
    const std::unique_ptr<FileSink> t2Sink = sinkFor(outputs.file(halcyra::FrameKind::T2));

    // Opened before anything is read, as the outputs are.
    std::unique_ptr<halcyra::ArchiveImport> archive;
    if (options.archive.given && !(archive = halcyra::ArchiveImport::open(options)))
        return kFileFailure;

    halcyra::BatchDecoder decoder(settings, t1Sink.get(), t2Sink.get());
    int status = decodeLogs(options, closed.input, decoder, archive.get(), outputs);

    // The summary is part of the result: when it cannot be written, the run
    // failed and the files stay as they were.
    if (options.summary && !printSummary(decoder.counts(), closed.error))
        status = kFileFailure;

    return outputs.settle(status, options.partial);
}
