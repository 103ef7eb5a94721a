// The picture commands' two forms: IN OUT, and a batch (-o DIR IN...,
// --from FILE) whose pictures run in parallel, each on its own, a failure
// reported and the batch going on.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli.hpp"
#include "progress.hpp"

namespace orvessa::cli {

const std::vector<std::string_view> picture_run_options{
    "--format", "--quality", "--out-dir", "--from", "--null", "--jobs", "--force", "--quiet", "--progress"};

namespace {

// --from's names: one a line, or each ended by a NUL byte; empty ones skipped.
bool read_names(std::string_view from, bool nul, std::vector<std::string>& names) {
    std::vector<std::uint8_t> bytes;
    if (!read_all(from, bytes)) return false;
    const char end = nul ? '\0' : '\n';
    std::string name;
    for (const std::uint8_t byte : bytes) {
        if (static_cast<char>(byte) != end) {
            name += static_cast<char>(byte);
        } else if (!name.empty()) {
            names.push_back(std::exchange(name, {}));
        }
    }
    if (!name.empty()) names.push_back(name);
    return true;
}

struct FileId {
    dev_t device;
    ino_t inode;
    auto operator<=>(const FileId&) const = default;
};

std::optional<FileId> file_id(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return std::nullopt;
    return FileId{info.st_dev, info.st_ino};
}

// The one place a job's failure becomes a line and an exit status.
int run_job(const PictureJob& job, const std::string& in, const std::string& out, const PictureSettings& settings) {
    try {
        job(in, out, settings);
        return exit_ok;
    } catch (const Error& e) {
        return file_error(e);
    } catch (const std::invalid_argument& e) {
        return usage_error(e.what());
    } catch (const std::bad_alloc&) {
        complain(in + ": out of memory");
    } catch (const std::exception& e) {
        complain(in + ": " + e.what());
    }
    return exit_file;
}

struct Batch {
    std::vector<std::pair<std::string, std::string>> pictures;  // IN, and OUT or empty
    std::set<FileId> inputs;
    PictureSettings settings;  // threads: each picture's
    const PictureJob* job;
    std::atomic<std::size_t> next{0}, done{0}, failed{0}, skipped{0};
    std::atomic<int> status{exit_ok};
};

// The picture's exit status; `skipped` when its OUT exists.
int one_picture(Batch& batch, const std::string& in, const std::string& out, bool& skipped) {
    if (out.empty()) {
        complain(in + ": names no file to take the output's name from");
        return exit_file;
    }
    const auto id = file_id(out);
    if (id && batch.inputs.count(*id) != 0) {
        complain(out + " is an input of the batch; inputs are never overwritten");
        return exit_file;
    }
    if (batch.settings.existing == ExistingOutput::refuse && output_exists(out)) {
        output_allowed(out, ExistingOutput::refuse);  // says so
        skipped = true;
        return exit_file;
    }
    if (!output_allowed(out, batch.settings.existing)) return exit_file;
    // --quality is for the outputs that have one.
    PictureSettings settings = batch.settings;
    if (const auto format = picture_format_named(file_extension(out).value_or("png")); format && !has_quality(*format)) {
        settings.quality.reset();
    }
    return run_job(*batch.job, in, out, settings);
}

void work(Batch& batch, Progress& progress) {
    for (;;) {
        const std::size_t i = batch.next++;
        if (i >= batch.pictures.size()) return;
        bool skipped = false;
        const int status = one_picture(batch, batch.pictures[i].first, batch.pictures[i].second, skipped);
        ++(status == exit_ok ? batch.done : skipped ? batch.skipped : batch.failed);
        int worst = batch.status.load();
        while (status > worst && !batch.status.compare_exchange_weak(worst, status)) {
        }
        progress.picture_done();
    }
}

std::string joined(std::string_view folder, const std::string& name) {
    return std::string(folder) + (folder.back() == '/' ? "" : "/") + name;
}

int run_batch(std::string_view command, const ParsedArgs& parsed, const PictureSettings& settings,
              const PictureJob& job) {
    if (!parsed.has("--out-dir")) return usage_error("--from goes with -o DIR");
    const std::string_view folder = *parsed.option("--out-dir");
    if (folder.empty()) return usage_error("-o wants a folder");
    std::int32_t jobs = usable_cores();
    if (const auto text = parsed.option("--jobs")) {
        const auto value = parse_int32(*text);
        if (!value || *value < 1) return usage_error("--jobs wants a count of 1 or more");
        jobs = *value;
    }
    std::vector<std::string> inputs(parsed.positional.begin(), parsed.positional.end());
    if (const auto from = parsed.option("--from")) {
        if (!read_names(*from, parsed.has("--null"), inputs)) return exit_file;
    } else if (parsed.has("--null")) {
        return usage_error("-0 goes with --from");
    } else if (inputs.empty()) {
        return usage_error(std::string(command) + " -o DIR wants at least one IN");
    }

    Batch batch;
    batch.job = &job;
    batch.settings = settings;
    std::map<std::string, const std::string*> planned;
    for (const std::string& in : inputs) {
        const std::string name = batch_output_name(settings, in);
        const std::string out = name.empty() ? name : joined(folder, name);
        if (!out.empty()) {
            const auto [first, fresh] = planned.emplace(out, &in);
            if (!fresh) return usage_error(*first->second + " and " + in + " would both be written to " + out);
        }
        batch.pictures.emplace_back(in, out);
        if (const auto id = file_id(in)) batch.inputs.insert(*id);
    }
    std::error_code error;
    std::filesystem::create_directories(std::string(folder), error);
    if (!error && !std::filesystem::is_directory(std::string(folder), error)) {
        error = std::make_error_code(std::errc::not_a_directory);
    }
    if (error) {
        complain("cannot make the folder " + std::string(folder) + ": " + error.message());
        return exit_file;
    }

    // Jobs times filter threads stay within the cores: a few big pictures
    // get threads each, many small ones a job each.
    const auto workers = static_cast<std::int32_t>(
        std::max<std::size_t>(1, std::min<std::size_t>(static_cast<std::size_t>(jobs), inputs.size())));
    batch.settings.threads = std::max(1, std::min(settings.threads, usable_cores() / workers));
    const bool quiet = parsed.has("--quiet");
    {
        Progress progress(inputs.size(), !quiet && (parsed.has("--progress") || ::isatty(2) == 1));
        std::vector<std::jthread> pool;
        for (std::int32_t k = 1; k < workers; ++k) {
            try {
                pool.emplace_back([&batch, &progress] { work(batch, progress); });
            } catch (const std::system_error&) {
                break;  // fewer threads: the ones running take the rest
            }
        }
        work(batch, progress);
    }
    if (!quiet) {
        complain(std::to_string(batch.done) + " done, " + std::to_string(batch.failed) + " failed, " +
                 std::to_string(batch.skipped) + " skipped as existing");
    }
    return batch.status;
}

}  // namespace

int run_pictures(std::string_view command, const ParsedArgs& parsed, const PictureSettings& settings,
                 const PictureJob& job) {
    if (parsed.has("--out-dir") || parsed.has("--from")) return run_batch(command, parsed, settings, job);
    if (parsed.positional.size() != 2) {
        return usage_error(std::string(command) + " wants IN and OUT, or -o DIR IN...");
    }
    const std::string in(parsed.positional[0]), out(parsed.positional[1]);
    if (!checked_output(out, settings)) return exit_usage;
    if (refuse_same_file(in, out)) return exit_file;
    if (!output_allowed(out, settings.existing)) return exit_file;
    return run_job(job, in, out, settings);
}

}  // namespace orvessa::cli
