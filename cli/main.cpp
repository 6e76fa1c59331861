// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// halcyra-decode: decodes packet logs of any length into the CSV files the
// window writes, streaming.

#include "batch.h"
#include "csv.h"
#include "outputfile.h"
#include "version.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr const char *kProgram = "halcyra-decode";
constexpr std::size_t kReadSize = 64 * 1024;

enum ExitStatus { kSuccess = 0, kFileFailure = 1, kUsageError = 2 };

constexpr const char *kUsage = R"(usage: halcyra-decode [options] [LOG ...]

Decodes the T1 and T2 frames of Halcyra packet logs into CSV files, with the
window's rules and number texts and without its limit of 1000 frames. The
logs are read in the order given as one continuous text: the frame time and
a line end split between two files carry over. With no LOG, or for "-",
standard input is read.

  --t1 FILE   write the T1 records to FILE
  --t2 FILE   write the T2 records to FILE
              ("-" is standard output; with neither option the T1
              records go to standard output)
  --time      add a first column "Frame time" with each frame's time text
  --locale    use the decimal separator of the user's locale, not "."
  --summary   print the counts of T1 and T2 frames and of lines with a
              frame tag but the wrong length to standard error
  --partial   replace the output files even when a log could not be read
              or held a line that is too long (the exit status stays 1)
  --help      show this text
  --version   show the version

Output files are replaced only once every output has been written in full;
a failed or interrupted run leaves the previous files as they were. An
output may not be one of the logs.

Exit status: 0 success; 1 a log could not be read or held a line longer
than 1 MiB (the others are still read), or an output or the summary could
not be written; 2 a usage error.
)";

struct Options {
    std::string t1Path;
    std::string t2Path;
    bool withTime = false;
    bool useLocale = false;
    bool summary = false;
    bool partial = false;
    bool help = false;
    bool version = false;
    std::vector<std::string> logs;
};

void message(const std::string &text)
{
    std::fprintf(stderr, "%s: %s\n", kProgram, text.c_str());
}

// Returns the usage error, or an empty text.
std::string parseArguments(int argc, char **argv, Options &o)
{
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (optionsEnded || arg == "-" || !arg.starts_with("-")) {
            o.logs.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string_view name = arg;
        std::string_view value;
        bool hasValue = false;
        if (const std::size_t eq = arg.find('='); arg.starts_with("--") && eq != std::string_view::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        if (name == "--t1" || name == "--t2") {
            if (!hasValue) {
                if (i + 1 >= argc)
                    return "option " + std::string(name) + " needs a file name";
                value = argv[++i];
            }
            std::string &path = name == "--t1" ? o.t1Path : o.t2Path;
            if (!path.empty())
                return "option " + std::string(name) + " given twice";
            if (value.empty())
                return "option " + std::string(name) + " needs a file name";
            path = value;
            continue;
        }
        if (hasValue)
            return "option " + std::string(name) + " takes no value";
        if (name == "--time")
            o.withTime = true;
        else if (name == "--locale")
            o.useLocale = true;
        else if (name == "--summary")
            o.summary = true;
        else if (name == "--partial")
            o.partial = true;
        else if (name == "--help" || name == "-h")
            o.help = true;
        else if (name == "--version")
            o.version = true;
        else
            return "unknown option " + std::string(arg);
    }
    return {};
}

std::string displayName(const std::string &log)
{
    return log == "-" ? "standard input" : log;
}

// Returns the usage error, or an empty text. Both outputs into one file would
// lose one of them; an output that is a log would be destroyed by the run.
std::string checkFiles(const Options &o)
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
    for (const std::string &log : o.logs) {
        const halcyra::FileIdentity input = halcyra::identifyFile(log, STDIN_FILENO);
        for (const auto &[name, output] : outputs) {
            if (halcyra::sameFile(output, input))
                return name + " names a log to decode: " + displayName(log);
        }
    }
    return {};
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

class FileSink : public halcyra::CsvSink {
public:
    explicit FileSink(halcyra::OutputFile &file) : file_(file) {}
    void write(std::string_view text) override { file_.write(text); }

private:
    halcyra::OutputFile &file_;
};

bool anyFailed(const std::vector<std::unique_ptr<halcyra::OutputFile>> &outputs)
{
    for (const auto &out : outputs) {
        if (out->failed())
            return true;
    }
    return false;
}

// Feeds one log to the decoder; false with the reason when it could not be
// read to its end (what was read is decoded all the same).
bool decodeLog(const std::string &name, bool inputClosed, halcyra::BatchDecoder &decoder, std::vector<char> &buffer,
               const std::vector<std::unique_ptr<halcyra::OutputFile>> &outputs, std::string &error)
{
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
        if (anyFailed(outputs)) // no use reading on
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

} // namespace

int main(int argc, char **argv)
{
    ClosedStreams closed;
    if (!openClosedStreams(closed))
        return kFileFailure; // no way left to report it

    Options options;
    if (const std::string error = parseArguments(argc, argv, options); !error.empty()) {
        message(error);
        std::fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
        return kUsageError;
    }
    if (options.help || options.version) {
        if (closed.output) {
            message("standard output: " + closedReason());
            return kFileFailure;
        }
        if (options.help)
            std::fputs(kUsage, stdout);
        else
            std::printf("%s %s\n", kProgram, halcyra::kVersion);
        return std::fflush(stdout) == 0 ? kSuccess : kFileFailure;
    }
    if (options.t1Path.empty() && options.t2Path.empty())
        options.t1Path = "-";
    if (options.logs.empty())
        options.logs.emplace_back("-");
    if (const std::string error = checkFiles(options); !error.empty()) {
        message(error);
        std::fprintf(stderr, "Try '%s --help' for more information.\n", kProgram);
        return kUsageError;
    }

    halcyra::BatchSettings settings;
    settings.withTime = options.withTime;
    if (options.useLocale)
        settings.decimalSeparator = localeDecimalSeparator();

    halcyra::installCleanupOnSignals();

    // Outputs are opened before anything is read: a name that cannot be
    // written is reported at once, not after a long log.
    std::vector<std::unique_ptr<halcyra::OutputFile>> outputs;
    std::unique_ptr<FileSink> t1Sink;
    std::unique_ptr<FileSink> t2Sink;
    for (const std::string *path : {&options.t1Path, &options.t2Path}) {
        if (path->empty())
            continue;
        if (*path == "-" && closed.output) {
            message("standard output: " + closedReason());
            return kFileFailure; // the destructors remove the temporaries
        }
        auto file = std::make_unique<halcyra::OutputFile>(*path);
        if (!file->open()) {
            message(file->error());
            return kFileFailure;
        }
        (path == &options.t1Path ? t1Sink : t2Sink) = std::make_unique<FileSink>(*file);
        outputs.push_back(std::move(file));
    }

    int status = kSuccess;
    halcyra::BatchDecoder decoder(settings, t1Sink.get(), t2Sink.get());
    std::vector<char> buffer(kReadSize);
    std::uint64_t overlongBefore = 0;
    for (const std::string &log : options.logs) {
        if (anyFailed(outputs))
            break;
        std::string error;
        if (!decodeLog(log, closed.input, decoder, buffer, outputs, error)) {
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
    if (decoder.overlongLines() != overlongBefore) { // the text's last line
        message(displayName(options.logs.back()) + ": a line longer than 1 MiB skipped");
        status = kFileFailure;
    }

    // The summary is part of the result: when it cannot be written, the run
    // failed and the files stay as they were.
    if (options.summary && !printSummary(decoder.counts(), closed.error))
        status = kFileFailure;

    // Replace the files only when every output is complete, and by default
    // only when the run succeeded, so that a failure leaves all previous files
    // as they were, not some of them.
    bool complete = true;
    for (const auto &out : outputs) {
        if (!out->flush()) {
            message(out->error());
            complete = false;
        }
    }
    if (complete && (status == kSuccess || options.partial)) {
        if (!halcyra::commitAll(outputs)) {
            for (const auto &out : outputs) {
                if (out->failed())
                    message(out->error());
            }
            status = kFileFailure;
        }
        return status;
    }
    const bool kept = std::any_of(outputs.begin(), outputs.end(), [](const auto &o) { return o->replacesFile(); });
    for (const auto &out : outputs)
        out->discard();
    if (kept)
        message("the output files were left as they were");
    return kFileFailure;
}
