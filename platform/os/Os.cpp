#include "platform/os/Os.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

namespace os {
namespace {

// The text table resolves its file during static initialisation, before
// dynamic initialisers of this file may have run: the mutex is
// constant-initialised and the directory built on first use.
constinit std::mutex g_dirMutex;
std::string& StartDir() {
    static std::string dir;
    return dir;
}

std::string CurrentDirectory() {
    char buf[4096];
    if (!getcwd(buf, sizeof buf)) return ".";
    return buf;
}

bool IsDir(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

// The entry of dir whose name equals component without regard to case; an
// exact match wins so that names differing only in case stay reachable.
bool FindEntryNoCase(const std::string& dir, std::string_view component, std::string& out) {
    DIR* d = opendir(dir.empty() ? "/" : dir.c_str());
    if (!d) return false;
    bool found = false;
    std::string best;
    while (dirent* e = readdir(d)) {
        std::string_view name = e->d_name;
        if (name == component) {
            best = name;
            found = true;
            break;
        }
        if (!found && EqualNoCase(name, component)) {
            best = name;
            found = true;
        }
    }
    closedir(d);
    if (found) out = best;
    return found;
}

// Reads with one read of the size fstat gives (more only when the kernel
// hands back less). Non-blocking, so that a FIFO given as a name cannot hang.
template <typename Bytes> bool ReadWhole(std::string_view name, Bytes* out, size_t maxBytes) {
    out->clear();
    if (name.empty()) {
        errno = ENOENT;
        return false;
    }
    const int fd = open(ResolvePath(name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    int failure = 0;
    if (fstat(fd, &st) != 0)
        failure = errno;
    else if (!S_ISREG(st.st_mode))
        failure = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    else if (uint64_t(st.st_size) > maxBytes)
        failure = EFBIG;
    size_t got = 0;
    if (!failure) {
        try {
            out->resize(size_t(st.st_size));
        } catch (const std::exception&) { // bad_alloc, or beyond what the container holds
            failure = ENOMEM;
        }
    }
    if (!failure) {
        while (got < out->size()) {
            const ssize_t n = read(fd, out->data() + got, out->size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                failure = n < 0 ? errno : EIO;
                break;
            }
            got += size_t(n);
        }
    }
    close(fd);
    if (!failure) return true;
    out->clear();
    errno = failure;
    return false;
}

} // namespace

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x += 32;
        if (y >= 'A' && y <= 'Z') y += 32;
        if (x != y) return false;
    }
    return true;
}

const std::string& StartDirectory() {
    std::lock_guard lock(g_dirMutex);
    if (StartDir().empty()) StartDir() = CurrentDirectory();
    return StartDir();
}

void SetStartDirectory(std::string_view dir) {
    std::string d(dir);
    if (d.empty() || d[0] != '/') d = CurrentDirectory() + "/" + d;
    while (d.size() > 1 && d.back() == '/')
        d.pop_back();
    std::lock_guard lock(g_dirMutex);
    StartDir() = d;
}

namespace {
// Appends the components of a '/'-separated name to path, "." and ".."
// taken lexically. With lookUp, each component that does not exist as given
// is matched without regard to case; once one is missing, the rest is kept
// as given.
std::string AppendComponents(std::string path, const std::string& n, bool lookUp) {
    bool missing = !lookUp;
    size_t pos = 0;
    while (pos <= n.size()) {
        size_t next = n.find('/', pos);
        if (next == std::string::npos) next = n.size();
        std::string_view comp(n.data() + pos, next - pos);
        pos = next + 1;
        if (comp.empty() || comp == ".") continue;
        if (comp == "..") {
            size_t cut = path.rfind('/');
            path = cut == std::string::npos ? std::string() : path.substr(0, cut);
            continue;
        }
        std::string actual(comp);
        if (!missing && !Exists(path + "/" + actual)) {
            if (!FindEntryNoCase(path, comp, actual)) missing = true;
        }
        path += "/";
        path += actual;
    }
    return path.empty() ? "/" : path;
}
} // namespace

// The name as written is tried first with one stat: it nearly always has the
// right letter case, and then every component exists as given, which is what
// the walk would find too.
std::string ResolvePath(std::string_view name) {
    std::string n(name);
    std::replace(n.begin(), n.end(), '\\', '/');
    const std::string base = (!n.empty() && n[0] == '/') ? std::string() : StartDirectory();
    std::string written = AppendComponents(base, n, false);
    if (Exists(written)) return written;
    return AppendComponents(base, n, true);
}

std::FILE* OpenFile(std::string_view name, const char* mode) {
    if (name.empty()) return nullptr;
    return std::fopen(ResolvePath(name).c_str(), mode);
}

bool FileUnlinked(std::FILE* file) {
    struct stat st {};
    return !file || fstat(fileno(file), &st) != 0 || st.st_nlink == 0;
}

bool FileExists(std::string_view name) {
    if (name.empty()) return false;
    const std::string path = ResolvePath(name);
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), R_OK) == 0;
}

bool DirectoryExists(std::string_view name) {
    return !name.empty() && IsDir(ResolvePath(name));
}

bool DeleteFile(std::string_view name) {
    if (name.empty()) return false;
    return unlink(ResolvePath(name).c_str()) == 0;
}

bool CopyFile(std::string_view from, std::string_view to, bool overwrite) {
    std::string dst = ResolvePath(to);
    if (!overwrite && Exists(dst)) return false;
    File in = Open(from, "rb");
    if (!in) return false;
    File out(std::fopen(dst.c_str(), "wb"));
    if (!out) return false;
    char buf[65536];
    bool ok = true;
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in.get())) > 0) {
        if (std::fwrite(buf, 1, n, out.get()) != n) {
            ok = false;
            break;
        }
    }
    if (std::ferror(in.get())) ok = false; // a directory, or a failing disk
    return out.Close() && ok;
}

bool CreateDirectory(std::string_view name) {
    std::string path = ResolvePath(name);
    for (size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/') {
            std::string part = path.substr(0, i);
            if (!IsDir(part) && mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
        }
    }
    return IsDir(path);
}

bool CanWriteDirectory(std::string_view dir, std::string* reason) {
    const std::string probe = ResolvePath(dir) + "/.zt-write-probe-" + std::to_string(getpid());
    const int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (reason) *reason = std::strerror(errno);
        return false;
    }
    close(fd);
    unlink(probe.c_str());
    return true;
}

long long FileSize(std::string_view name) {
    struct stat st {};
    if (name.empty() || stat(ResolvePath(name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return st.st_size;
}

long long FileModifiedTime(std::string_view name) {
    struct stat st {};
    if (name.empty() || stat(ResolvePath(name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
}

bool ReadWholeFile(std::string_view name, std::string* out, size_t maxBytes) {
    return ReadWhole(name, out, maxBytes);
}

bool ReadWholeFile(std::string_view name, std::vector<uint8_t>* out, size_t maxBytes) {
    return ReadWhole(name, out, maxBytes);
}

void FileBytes::clear() {
    if (mapping_)
        munmap(mapping_, mappingBytes_);
    else
        std::free(data_);
    data_ = nullptr;
    size_ = 0;
    mapping_ = nullptr;
    mappingBytes_ = 0;
}

void FileBytes::resize(size_t n) {
    clear();
    if (n == 0) return;
    constexpr size_t kHugePage = size_t(2) << 20;
    if (n < kHugePage) {
        data_ = static_cast<char*>(std::malloc(n));
        if (!data_) throw std::bad_alloc();
        size_ = n;
        return;
    }
    // One huge page more than needed, so that the bytes can start on a
    // huge-page boundary.
    if (n > SIZE_MAX - 2 * kHugePage) throw std::bad_alloc();
    const size_t bytes = (n + 2 * kHugePage - 1) & ~(kHugePage - 1);
    void* mapping = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) throw std::bad_alloc();
    char* aligned = reinterpret_cast<char*>((reinterpret_cast<uintptr_t>(mapping) + kHugePage - 1) &
                                            ~uintptr_t(kHugePage - 1));
    madvise(aligned, (n + kHugePage - 1) & ~(kHugePage - 1), MADV_HUGEPAGE); // a hint: 4 KiB pages otherwise
    mapping_ = mapping;
    mappingBytes_ = bytes;
    data_ = aligned;
    size_ = n;
}

bool ReadWholeFile(std::string_view name, FileBytes* out, size_t maxBytes) {
    return ReadWhole(name, out, maxBytes);
}

bool WildcardMatch(std::string_view p, std::string_view s) {
    size_t pi = 0, si = 0, star = std::string_view::npos, mark = 0;
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    while (si < s.size()) {
        if (pi < p.size() && (p[pi] == '?' || lower(p[pi]) == lower(s[si]))) {
            ++pi;
            ++si;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = si;
        } else if (star != std::string_view::npos) {
            pi = star + 1;
            si = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

std::vector<DirEntry> ListDirectory(std::string_view pattern) {
    std::string p(pattern);
    std::replace(p.begin(), p.end(), '\\', '/');
    size_t cut = p.rfind('/');
    std::string dirName = cut == std::string::npos ? std::string() : p.substr(0, cut);
    std::string mask = cut == std::string::npos ? p : p.substr(cut + 1);
    if (mask.empty()) mask = "*";
    std::string dir = dirName.empty() ? StartDirectory() : ResolvePath(dirName);
    std::vector<DirEntry> out;
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        std::string_view name = e->d_name;
        if (name == "." || name == "..") continue;
        if (!WildcardMatch(mask, name)) continue;
        out.push_back({std::string(name), IsDir(dir + "/" + std::string(name))});
    }
    closedir(d);
    std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
    return out;
}

uint64_t PerformanceCounter() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return uint64_t(ts.tv_sec) * 1000000000ull + uint64_t(ts.tv_nsec);
}

uint64_t PerformanceFrequency() {
    return 1000000000ull;
}

uint32_t TimeGetTimeMs() {
    return uint32_t(PerformanceCounter() / 1000000ull);
}

void SleepMs(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

namespace {
CalendarTime FromTm(const std::tm& t, long nanos) {
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_wday, t.tm_mday,
            t.tm_hour,        t.tm_min,     t.tm_sec,  int(nanos / 1000000)};
}
} // namespace

CalendarTime LocalTime() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm t{};
    localtime_r(&ts.tv_sec, &t);
    return FromTm(t, ts.tv_nsec);
}

CalendarTime SystemTimeUtc() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    std::tm t{};
    gmtime_r(&ts.tv_sec, &t);
    return FromTm(t, ts.tv_nsec);
}

namespace {
std::atomic<uint32_t> g_randState{1};
}

int Rand() {
    uint32_t s = g_randState.load(std::memory_order_relaxed) * 214013u + 2531011u;
    g_randState.store(s, std::memory_order_relaxed);
    return int((s >> 16) & 0x7fff);
}

void Srand(uint32_t seed) {
    g_randState.store(seed, std::memory_order_relaxed);
}

} // namespace os
