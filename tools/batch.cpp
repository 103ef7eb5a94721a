// The picture commands' two forms: IN OUT, and a batch (-o DIR IN...,
// --from FILE, folders with -r) whose pictures run in parallel, each on its
// own, a failure reported and the batch going on.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
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
    "--format", "--quality", "--out-dir",  "--from", "--null",      "--jobs",          "--force",
    "--quiet",  "--progress", "--relative", "--base", "--recursive", "--skip-existing"};

namespace {

namespace fs = std::filesystem;

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

// The one place a job's failure becomes a line and an exit status. With
// `skipped`, an OUT that appeared meanwhile is left alone (-n) as one found
// before.
int run_job(const PictureJob& job, const std::string& in, const std::string& out, const PictureSettings& settings,
            bool* skipped = nullptr) {
    try {
        job(in, out, settings);
        return exit_ok;
    } catch (const Error& e) {
        if (skipped != nullptr && e.number() == static_cast<std::int32_t>(ErrorNumber::file_exists)) {
            *skipped = true;
            return exit_ok;
        }
        return file_error(e);
    } catch (const std::invalid_argument& e) {
        return usage_error(e.what());
    } catch (...) {
        return other_failure(in);
    }
}

// An input of the batch and the output it is written to.
struct BatchItem {
    std::string in, out;
    std::string refusal;  // why IN has no OUT, said when its turn comes
};

struct Batch {
    std::vector<BatchItem> items;
    std::set<FileId> inputs;
    PictureSettings settings;  // threads: each picture's
    bool skip_existing = false;
    const PictureJob* job;
    std::atomic<std::size_t> next{0}, done{0}, failed{0}, skipped{0};
    std::atomic<int> status{exit_ok};
    // Folders that could not be made: said once, not for each of their pictures.
    std::mutex unmade_lock;
    std::set<fs::path> unmade;

    bool first_to_fail(const fs::path& folder) {
        const std::lock_guard lock(unmade_lock);
        return unmade.insert(folder).second;
    }
};

// What a folder given as IN without -r gets, where reading it would only
// say that it is a directory.
std::string folder_without_r(const std::string& in) {
    return "cannot read " + in + ": " + std::make_error_code(std::errc::is_a_directory).message() +
           "; -r reads the pictures in folders (with -o DIR)";
}

// The picture's exit status; `skipped` when its OUT exists.
int one_picture(Batch& batch, const BatchItem& picture, bool& skipped) {
    const std::string& in = picture.in;
    const std::string& out = picture.out;
    if (!picture.refusal.empty()) return file_failure(picture.refusal);
    const auto id = file_id(out);
    if (id && batch.inputs.count(*id) != 0) {
        return file_failure(out + " is an input of the batch; inputs are never overwritten");
    }
    if (batch.settings.existing == ExistingOutput::refuse && output_exists(out)) {
        skipped = true;
        if (batch.skip_existing) return exit_ok;  // an earlier run's work
        output_allowed(out, ExistingOutput::refuse);  // says so
        return exit_file;
    }
    // Kept folders are made as their pictures come.
    const fs::path parent = fs::path(out).parent_path();
    std::error_code error, ignored;
    fs::create_directories(parent, error);
    if (error && !fs::is_directory(parent, ignored)) {
        if (batch.first_to_fail(parent)) complain("cannot make the folder " + parent.string() + ": " + error.message());
        return exit_file;
    }
    // --quality is for the outputs that have one.
    PictureSettings settings = batch.settings;
    if (const auto format = picture_format_named(file_extension(out).value_or("png")); format && !has_quality(*format)) {
        settings.quality.reset();
    }
    return run_job(*batch.job, in, out, settings, batch.skip_existing ? &skipped : nullptr);
}

void work(Batch& batch, Progress& progress) {
    for (;;) {
        const std::size_t i = batch.next++;
        if (i >= batch.items.size()) return;
        bool skipped = false;
        const int status = one_picture(batch, batch.items[i], skipped);
        ++(skipped ? batch.skipped : status == exit_ok ? batch.done : batch.failed);
        int worst = batch.status.load();
        while (status > worst && !batch.status.compare_exchange_weak(worst, status)) {
        }
        progress.picture_done();
    }
}

// PATH made absolute, without ".", ".." or a final '/', by its spelling
// alone (links are not resolved: a path is placed as written).
fs::path normal(const fs::path& path) {
    std::error_code error;
    fs::path p = fs::absolute(path, error).lexically_normal();
    if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
    return p;
}

// The folder under DIR that --relative gives PATH: its own, relative to
// BASE; nullopt when PATH is not below BASE, so nothing lands outside DIR.
std::optional<fs::path> relative_folder(const fs::path& base, const std::string& path) {
    const fs::path relative = normal(path).lexically_relative(base);
    if (relative.empty() || *relative.begin() == "..") return std::nullopt;
    return relative.parent_path();
}

struct Input {
    std::string path;
    fs::path tree;  // the folder under DIR it goes to
    std::string refusal;
};

struct Walk {
    std::vector<Input>& inputs;
    std::optional<FileId> out_dir;  // never walked: a second run would nest its outputs
    std::size_t not_pictures = 0, unreadable = 0;
};

// -r: the pictures below FOLDER in name order. Hidden names and linked
// folders are left alone; files that are not pictures are only counted.
void walk_folder(Walk& walk, const fs::path& folder, const fs::path& tree) {
    std::error_code error;
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(*it);
    }
    if (error) {
        complain("cannot read the folder " + folder.string() + ": " + error.message());
        ++walk.unreadable;
        return;
    }
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.path().filename() < b.path().filename(); });
    for (const fs::directory_entry& entry : entries) {
        const std::string name = entry.path().filename().string();
        if (name.front() == '.') continue;
        if (entry.is_directory(error) && !entry.is_symlink(error)) {
            if (!walk.out_dir || file_id(entry.path().string()) != walk.out_dir) {
                walk_folder(walk, entry.path(), tree / name);
            }
        } else if (entry.is_regular_file(error)) {
            if (is_picture_file(entry.path().string())) {
                walk.inputs.push_back({entry.path().string(), tree, {}});
            } else {
                ++walk.not_pictures;
            }
        }
    }
}

// The folder -r keeps for FOLDER: its own name ("photos/2019" gives
// "2019"), none for the current folder, whose contents go straight to DIR.
fs::path own_name(const std::string& folder) {
    const fs::path p = normal(folder);
    return p == normal(".") ? fs::path() : p.filename();
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
    std::vector<std::string> names(parsed.positional.begin(), parsed.positional.end());
    if (const auto from = parsed.option("--from")) {
        if (!read_names(*from, parsed.has("--null"), names)) return exit_file;
    } else if (parsed.has("--null")) {
        return usage_error("-0 goes with --from");
    } else if (names.empty()) {
        return usage_error(std::string(command) + " -o DIR wants at least one IN");
    }
    std::optional<fs::path> base;  // with --relative: what the kept paths are relative to
    std::string base_said = "the current folder";
    if (const auto text = parsed.option("--base")) {
        if (text->empty()) return usage_error("--base wants a folder");
        base = normal(*text);
        base_said = "--base " + std::string(*text);
    } else if (parsed.has("--relative")) {
        base = normal(".");
    }

    std::vector<Input> inputs;
    Walk walk{inputs, file_id(std::string(folder))};
    for (const std::string& name : names) {
        std::error_code error;
        if (fs::is_directory(name, error) && parsed.has("--recursive")) {
            walk_folder(walk, name, own_name(name));
        } else if (fs::is_directory(name, error)) {
            inputs.push_back({name, {}, folder_without_r(name)});
        } else {
            inputs.push_back({name, {}, {}});
        }
    }

    Batch batch;
    batch.job = &job;
    batch.settings = settings;
    batch.skip_existing = parsed.has("--skip-existing");
    batch.failed = walk.unreadable;
    if (walk.unreadable != 0) batch.status = exit_file;
    std::map<std::string, const std::string*> planned;
    for (const Input& input : inputs) {
        BatchItem& picture = batch.items.emplace_back(BatchItem{input.path, {}, {}});
        const auto tree = base ? relative_folder(*base, input.path) : input.tree;
        std::string out, unnamed;
        try {
            out = batch_output_path((fs::path(folder) / tree.value_or(fs::path())).string(), input.path, settings.format);
        } catch (const std::invalid_argument& e) {
            unnamed = e.what();
        }
        if (!input.refusal.empty()) {
            picture.refusal = input.refusal;
        } else if (!unnamed.empty()) {
            picture.refusal = unnamed;
        } else if (!tree) {
            picture.refusal = input.path + " is outside " + base_said + "; --relative writes only what is below it";
        } else {
            picture.out = out;
            const auto [first, fresh] = planned.emplace(picture.out, &input.path);
            if (!fresh) {
                const bool apart = fs::path(*first->second).parent_path() != fs::path(input.path).parent_path();
                return usage_error(*first->second + " and " + input.path + " would both be written to " +
                                   picture.out + (apart && !base ? "; --relative keeps their folders" : ""));
            }
        }
        if (const auto id = file_id(input.path)) batch.inputs.insert(*id);
    }
    std::error_code error;
    std::filesystem::create_directories(std::string(folder), error);
    if (!error && !std::filesystem::is_directory(std::string(folder), error)) {
        error = std::make_error_code(std::errc::not_a_directory);
    }
    if (error) return file_failure("cannot make the folder " + std::string(folder) + ": " + error.message());

    // Jobs times filter threads stay within the cores: a few big pictures
    // get threads each, many small ones a job each.
    const auto workers = static_cast<std::int32_t>(
        std::max<std::size_t>(1, std::min<std::size_t>(static_cast<std::size_t>(jobs), batch.items.size())));
    batch.settings.threads = std::max(1, std::min(settings.threads, usable_cores() / workers));
    const bool quiet = parsed.has("--quiet");
    {
        Progress progress(batch.items.size(), !quiet && (parsed.has("--progress") || ::isatty(2) == 1));
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
                 std::to_string(batch.skipped) + " skipped as existing" +
                 (walk.not_pictures == 0   ? ""
                  : walk.not_pictures == 1 ? ", 1 file not a picture"
                                           : ", " + std::to_string(walk.not_pictures) + " files not pictures"));
    }
    return batch.status;
}

}  // namespace

int run_pictures(std::string_view command, const ParsedArgs& parsed, const PictureSettings& settings,
                 const PictureJob& job) {
    if (parsed.has("--out-dir") || parsed.has("--from")) return run_batch(command, parsed, settings, job);
    for (const auto& option : parsed.options) {
        if (option.name == "--recursive" || option.name == "--relative" || option.name == "--base") {
            return usage_error(std::string(option.spelled) + " goes with -o DIR");
        }
    }
    if (parsed.positional.size() != 2) {
        return usage_error(std::string(command) + " wants IN and OUT, or -o DIR IN...");
    }
    const std::string in(parsed.positional[0]), out(parsed.positional[1]);
    if (refuse_same_file(in, out)) return exit_file;
    if (std::error_code error; fs::is_directory(in, error)) return file_failure(folder_without_r(in));
    if (left_alone(parsed, out)) return exit_ok;
    // The job checks OUT (its format, whether it may be written) before IN is read.
    return run_job(job, in, out, settings);
}

}  // namespace orvessa::cli
