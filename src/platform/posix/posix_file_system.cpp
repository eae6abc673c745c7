#include "posix_file_system.h"

#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace parvane {

namespace {

std::string describeErrno(int error) {
    return std::strerror(error);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { reset(); }

    int get() const { return fd_; }
    void reset() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    // Closing is where some file systems first report a failed write.
    int close() {
        const int result = ::close(fd_);
        fd_ = -1;
        return result;
    }

private:
    int fd_;
};

class PosixSourceFile : public SourceFile {
public:
    PosixSourceFile(int fd, std::int64_t size) : fd_(fd), size_(size) {}

    std::int64_t size() const override { return size_; }

    std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) override {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t got = ::pread(fd_.get(), buffer + done, count - done,
                                        static_cast<off_t>(offset) + static_cast<off_t>(done));
            if (got == 0)
                break;
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                throw FileError("the source file cannot be read (" + describeErrno(errno) + ")");
            }
            done += static_cast<std::size_t>(got);
        }
        return done;
    }

private:
    FileDescriptor fd_;
    std::int64_t size_;
};

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t modeForNewFile(const std::string& destination) {
    struct stat existing {};
    if (::stat(destination.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        return existing.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

class PosixClipFile : public ClipFile {
public:
    PosixClipFile(int fd, std::string temporaryPath, std::string destination)
        : fd_(fd), temporaryPath_(std::move(temporaryPath)), destination_(std::move(destination)) {}

    ~PosixClipFile() override {
        if (!committed_) {
            fd_.reset();
            ::unlink(temporaryPath_.c_str());
        }
    }

    void writeAt(std::int64_t offset, const std::byte* data, std::size_t count) override {
        std::size_t done = 0;
        while (done < count) {
            const ssize_t put = ::pwrite(fd_.get(), data + done, count - done,
                                         static_cast<off_t>(offset) + static_cast<off_t>(done));
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                throw FileError(describeErrno(errno));
            }
            done += static_cast<std::size_t>(put);
        }
    }

    void commit() override {
        if (::fchmod(fd_.get(), modeForNewFile(destination_)) != 0 || ::fsync(fd_.get()) != 0 ||
            fd_.close() != 0)
            throw FileError(describeErrno(errno));
        if (::rename(temporaryPath_.c_str(), destination_.c_str()) != 0)
            throw FileError(describeErrno(errno));
        committed_ = true;
        // Make the rename itself durable; the clip is complete either way.
        FileDescriptor folder(::open(folderOf(destination_).c_str(), O_RDONLY | O_DIRECTORY));
        if (folder.get() >= 0)
            ::fsync(folder.get());
    }

private:
    FileDescriptor fd_;
    std::string temporaryPath_;
    std::string destination_;
    bool committed_ = false;
};

} // namespace

bool PosixFileSystem::exists(const std::string& path) const {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0)
        return true;
    // Anything but a clear "not there" counts as there, so the user is asked first.
    return errno != ENOENT && errno != ENOTDIR;
}

bool PosixFileSystem::sameFile(const std::string& a, const std::string& b) const {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::unique_ptr<SourceFile> PosixFileSystem::openSource(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0)
        throw FileError("the source file cannot be read (" + describeErrno(errno) + ")");
    if (!S_ISREG(info.st_mode))
        throw FileError("the source is not a regular file");
    return std::make_unique<PosixSourceFile>(fd.release(), static_cast<std::int64_t>(info.st_size));
}

std::unique_ptr<ClipFile> PosixFileSystem::createClip(const std::string& destination) {
    std::string pattern = folderOf(destination) + "/." + nameOf(destination) + ".part-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0)
        throw FileError("the destination folder cannot be written (" + describeErrno(errno) + ")");
    return std::make_unique<PosixClipFile>(fd, std::string(name.data()), destination);
}

} // namespace parvane
