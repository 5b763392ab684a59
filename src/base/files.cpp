#include "base/files.hpp"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/error.hpp"
#include "base/input_file.hpp"

namespace tlvx {

namespace {

bool valid_number(int32_t number) { return number >= 1 && number <= 255; }

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

[[noreturn]] void fail(int32_t number, const std::string& what, const std::string& name) {
    throw RuntimeError(number, what + " " + quoted(name));
}

// The whole readable text of a text input file.
void open_text_input(OpenFile& f) {
    // mended: only a regular file is read, and its open never waits (a FIFO
    // in the folder made the open wait for a writer, deaf to Ctrl+C).
    InputFile in = open_input_file(f.path, InputLinks::Follow);
    if (!in) fail(ERR_FILE_NOT_FOUND, "while opening", f.name);
    // mended: the text is read whole, so a huge file (a sparse one costs no
    // disk) took its size twice over in memory, or ended the program for want
    // of it. A file larger than any world's is refused before a byte is read;
    // one that grows meanwhile is cut at the same bound.
    struct stat st {};
    if (::fstat(in.fd, &st) != 0) fail(ERR_FILE_IO, "while reading", f.name);
    // `size`: the file's size, or -1 for a file that grew while it was read.
    auto too_large = [&f](int64_t size) {
        const std::string is = size >= 0 ? "it is " + std::to_string(size) + " bytes, over" : "it grew over";
        throw RuntimeError(ERR_FILE_IO, "while reading " + quoted(f.name) + ": " + is + " the " +
                                            std::to_string(kMaxTextFileBytes) + " a text file may hold");
    };
    if (st.st_size > kMaxTextFileBytes) too_large(st.st_size);
    const int fd = in.release();
    std::string bytes;
    char buf[65536];
    for (;;) {
        if (bytes.size() > static_cast<size_t>(kMaxTextFileBytes)) {
            ::close(fd);
            too_large(-1);
        }
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            fail(ERR_FILE_IO, "while reading", f.name);
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    f.text = readable_text(bytes);
    f.pos = 0;
}

// Text output writes into a temporary file beside the target; creating it now
// is the test that the target can be created at all.
// The reason at the end of a message of the atomic writer, in lower case.
std::string cause_of(const std::string& message) {
    const size_t colon = message.rfind(": ");
    std::string text = colon == std::string::npos ? message : message.substr(colon + 2);
    if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
    return text;
}

std::string cause_of(int err) { return cause_of(std::string(": ") + std::strerror(err)); }

// Where no temporary can be made beside the file (a read-only data folder)
// but the file itself exists and may be written, it is rewritten in place
// when it is closed.
void open_text_output(OpenFile& f) {
    struct stat st {};
    if (::stat(f.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) fail(ERR_FILE_NOT_FOUND, "while opening", f.name);
    if (f.replacement.open(f.path)) return;
    const std::string temp_cause = cause_of(f.replacement.error());
    // The folder is missing: there is no file to be found or made.
    if (::stat(folder_of(f.path).c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        fail(ERR_FILE_NOT_FOUND, "while opening", f.name);
    int fd = ::open(f.path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        f.fd = fd;
        f.in_place = true;
        return;
    }
    const int file_error = fd >= 0 ? EINVAL : errno;
    if (fd >= 0) ::close(fd);
    const std::string place = "while opening " + quoted(f.name) + ": ";
    if (file_error == ENOENT)
        throw RuntimeError(ERR_FILE_IO, place + "it cannot be created in the data folder (" + temp_cause + ")");
    throw RuntimeError(ERR_FILE_IO, place + "neither a temporary file beside it (" + temp_cause +
                                        ") nor the file itself (" + cause_of(file_error) + ") can be written");
}

bool write_all(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

void open_binary(OpenFile& f) {
    // O_NONBLOCK: a FIFO or a device in the file's place is refused below
    // instead of making the open wait; a regular file reads and writes as ever.
    int fd = ::open(f.path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0644);
    f.writable = fd >= 0;
    if (fd < 0) fd = ::open(f.path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) fail(ERR_FILE_NOT_FOUND, "while opening", f.name);
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fail(ERR_FILE_NOT_FOUND, "while opening", f.name);
    }
    f.fd = fd;
}

// mended: every line reaches the disk before the temporary replaces the old file, so
// the old file survives any failure here whole.
void commit_text_output(OpenFile& f) {
    if (f.in_place) {
        // No temporary could be made: the file is emptied and written again.
        errno = 0;
        bool ok = ::ftruncate(f.fd, 0) == 0 && write_all(f.fd, f.out) && ::fsync(f.fd) == 0;
        const int err = errno != 0 ? errno : EIO;
        ok = ::close(f.fd) == 0 && ok;
        f.fd = -1;
        if (!ok) throw RuntimeError(ERR_FILE_IO, "while writing " + quoted(f.name) + " (" + cause_of(err) + ")");
        return;
    }
    if (!f.replacement.write(f.out) || !f.replacement.commit())
        throw RuntimeError(ERR_FILE_IO,
                           "while writing " + quoted(f.name) + " (" + cause_of(f.replacement.error()) + ")");
}

void discard(OpenFile& f) {
    if (f.fd >= 0) ::close(f.fd);
    f.fd = -1;
    f.replacement.discard();
}

}  // namespace

std::string readable_text(std::string_view bytes) {
    size_t end = bytes.find('\x1a');
    if (end != std::string_view::npos) bytes = bytes.substr(0, end);
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
        text += bytes[i];
    }
    return text;
}

std::unique_ptr<OpenFile> open_file(const std::string& name, const std::string& path, FileMode mode) {
    // mended: a name with a NUL byte would open a different, shorter name.
    if (path.find('\0') != std::string::npos) fail(ERR_FILE_NOT_FOUND, "while opening", name);
    auto f = std::make_unique<OpenFile>();
    f->mode = mode;
    f->name = name;
    f->path = path;
    switch (mode) {
    case FileMode::TextInput: open_text_input(*f); break;
    case FileMode::TextOutput: open_text_output(*f); break;
    case FileMode::Binary: open_binary(*f); break;
    }
    return f;
}

FileTable::FileTable() = default;

FileTable::~FileTable() { close_all_discarding(); }

bool FileTable::is_open(int32_t number) const { return valid_number(number) && files_[number] != nullptr; }

int32_t FileTable::lowest_free() const {
    for (int32_t n = 1; n <= 255; ++n)
        if (!files_[n]) return n;
    return 0;
}

int32_t FileTable::open_count() const {
    int32_t count = 0;
    for (int32_t n = 1; n <= 255; ++n)
        if (files_[n]) ++count;
    return count;
}

OpenFile& FileTable::get(int32_t number, const char* what) {
    if (!is_open(number))
        throw RuntimeError(ERR_ILLEGAL_FUNCTION_CALL,
                           std::string(what) + " file #" + std::to_string(number) + ": no file is open under it");
    return *files_[number];
}

void FileTable::put(int32_t number, std::unique_ptr<OpenFile> file) {
    if (!valid_number(number)) throw RuntimeError(ERR_ILLEGAL_FUNCTION_CALL, "opening file #" + std::to_string(number));
    close(number);
    files_[number] = std::move(file);
}

void FileTable::close(int32_t number) {
    if (!is_open(number)) return;
    std::unique_ptr<OpenFile> f = std::move(files_[number]);
    if (f->mode == FileMode::TextOutput) {
        commit_text_output(*f);
        return;
    }
    if (f->fd >= 0) {
        int rc = ::close(f->fd);
        f->fd = -1;
        if (rc != 0 && f->mode == FileMode::Binary && f->writable) fail(ERR_FILE_IO, "while closing", f->name);
    }
}

void FileTable::close_all_discarding() {
    for (auto& f : files_) {
        if (f) discard(*f);
        f.reset();
    }
}

}  // namespace tlvx
