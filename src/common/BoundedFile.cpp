#include "common/BoundedFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

BoundedRead ReadBoundedFile(const std::string& path, std::size_t maxBytes, std::string& text, std::string& why) {
    text.clear();
    why.clear();
    // Non-blocking, so that opening a pipe nobody writes to returns at once; it is refused below.
    Descriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)};
    if (file.fd < 0) {
        why = std::string("does not open: ") + std::strerror(errno);
        return BoundedRead::CannotOpen;
    }
    struct stat status {};
    if (::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        why = "not a regular file";
        return BoundedRead::NotRegular;
    }
    const auto tooLarge = [&] {
        text.clear();
        why = "larger than " + std::to_string(maxBytes) + " bytes";
        return BoundedRead::TooLarge;
    };
    if (static_cast<unsigned long long>(status.st_size) > maxBytes) return tooLarge();
    // The file may grow while it is read: reading stops one buffer past the ceiling at most.
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(file.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            text.clear();
            why = std::string("cannot be read: ") + std::strerror(errno);
            return BoundedRead::CannotOpen;
        }
        if (got == 0) break;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > maxBytes) return tooLarge();
    }
    // Editors on some systems begin a UTF-8 file with a byte-order mark; left in, it would glue
    // itself to the first keyword, which then goes unrecognised.
    static const char kByteOrderMark[] = "\xEF\xBB\xBF";
    if (text.compare(0, 3, kByteOrderMark) == 0) text.erase(0, 3);
    return BoundedRead::Ok;
}
