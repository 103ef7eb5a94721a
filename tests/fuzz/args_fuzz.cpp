// The tool's command line: any arguments (NUL-separated in the input) run
// through the whole tool inside a scratch directory that holds a few files
// (a raw array, a picture, a directory, a FIFO, an empty file, a picture
// declaring a huge size). Every run must end in exit status 0 to 3 without
// a crash, an escaping exception or a hang, and may change only the file
// that it names once, as OUT. Arguments naming anything outside the scratch
// directory are skipped; a batch writes only into the folder that -o names
// (made inside the scratch directory) under its inputs' last names or, with
// --relative or -r, their paths below the scratch directory, and --from
// reads regular files or the empty standard input, never a FIFO (nor does
// -r take one).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "cli.hpp"
#include "orvessa/filter_path.hpp"
#include "orvessa/linux_platform.hpp"

namespace {

using namespace orvessa;

[[noreturn]] void finding(const std::string& what) {
    std::fprintf(stderr, "args fuzz: %s\n", what.c_str());
    std::abort();
}

std::string small_bmp() {
    Image image;
    image.width = 5;
    image.height = 3;
    image.pixels.resize(static_cast<std::size_t>(image.stride()) * image.height);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) image.pixels[i] = static_cast<std::uint8_t>(i * 37);
    const auto bytes = encode_picture(image, true);
    return std::string(bytes.begin(), bytes.end());
}

// The regular files of the scratch directory and their contents.
const std::map<std::string, std::string>& fixtures() {
    static const std::map<std::string, std::string> files{
        {"raw", std::string(60, '\x11') + "\x80\xff\x01"},
        {"pic.bmp", small_bmp()},
        {"empty", ""},
        {"huge.svg",
         "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"20000\" height=\"20000\">"
         "<rect width=\"1\" height=\"1\"/></svg>"},
    };
    return files;
}

std::string scratch_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void remove_tree(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) return;
    if (S_ISDIR(info.st_mode)) {
        if (DIR* dir = ::opendir(path.c_str())) {
            while (const dirent* entry = ::readdir(dir)) {
                const std::string name = entry->d_name;
                if (name != "." && name != "..") remove_tree(path + "/" + name);
            }
            ::closedir(dir);
        }
        ::rmdir(path.c_str());
    } else {
        ::unlink(path.c_str());
    }
}

// Empties the scratch directory (the current one) and lays out the fixtures.
void reset_scratch() {
    if (DIR* dir = ::opendir(".")) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") remove_tree(name);
        }
        ::closedir(dir);
    }
    for (const auto& [name, bytes] : fixtures()) {
        std::ofstream(name, std::ios::binary) << bytes;
    }
    ::mkdir("dir", 0755);
    ::mkfifo("fifo", 0644);
}

char scratch_path[] = "/tmp/orvessa-args-fuzz-XXXXXX";

void enter_scratch() {
    static const bool entered = [] {
        if (::mkdtemp(scratch_path) == nullptr || ::chdir(scratch_path) != 0) {
            finding("no scratch directory");
        }
        std::atexit([] {
            if (::chdir("/") == 0) remove_tree(scratch_path);
        });
        // Standard input reads as empty; the tool's own output goes nowhere.
        if (std::freopen("/dev/null", "r", stdin) == nullptr) finding("no /dev/null");
        // Never destroyed: the standard streams use it until the very end.
        static auto* const null_out = new std::ofstream("/dev/null");
        std::cout.rdbuf(null_out->rdbuf());
        std::cerr.rdbuf(null_out->rdbuf());
        return true;
    }();
    (void)entered;
}

// Paths are kept inside the scratch directory: no '/' and no ".." anywhere,
// a value being part of its option's argument ("-o..", "--out-dir=..").
// Pictures the tool would paint at millions of pixels (--fit) and raw
// widths whose row window takes hundreds of megabytes are slow, not wrong.
bool acceptable(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.find('/') != std::string::npos || a.find("..") != std::string::npos || a.size() > 64) return false;
        const std::string next = i + 1 < args.size() ? args[i + 1] : "";
        const auto fit = cli::parse_size(a.rfind("--fit=", 0) == 0 ? a.substr(6) : a == "--fit" ? next : "");
        if (fit && std::int64_t{fit->first} * fit->second > (1 << 20)) return false;
        const auto raw = cli::parse_size(a.rfind("--raw=", 0) == 0 ? a.substr(6) : a == "--raw" ? next : "");
        if (raw && raw->first > (1 << 22) && raw->first < 715827882) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back();
        } else {
            args.back() += static_cast<char>(data[i]);
        }
    }
    if (args.size() > 12 || !acceptable(args)) return -1;
    enter_scratch();
    reset_scratch();

    const std::vector<std::string_view> views(args.begin(), args.end());
    const int status = cli::run(views);
    force_filter_path(FilterPath::automatic);
    set_logical_resolution(96, 96);
    if (status < 0 || status > 3) finding("exit status " + std::to_string(status));

    for (const auto& [name, bytes] : fixtures()) {
        if (scratch_file(name) == bytes) continue;
        std::size_t named = 0;
        for (const auto& a : args) named += a == name;
        if (named != 1) finding(name + " changed although it was not OUT");
    }
    return 0;
}
