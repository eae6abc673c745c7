#include "posix_file_system.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
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

std::size_t readFully(int fd, std::int64_t offset, std::byte* buffer, std::size_t count) {
    std::size_t done = 0;
    while (done < count) {
        const ssize_t got = ::pread(fd, buffer + done, count - done,
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

// An open regular file and its size at opening.
struct OpenedFile {
    int fd;
    std::int64_t size;
};

OpenedFile openRegular(const std::string& path) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0)
        throw FileError("the source file cannot be read (" + describeErrno(errno) + ")");
    if (!S_ISREG(info.st_mode))
        throw FileError("the source is not a regular file");
    return {fd.release(), static_cast<std::int64_t>(info.st_size)};
}

// Where a stretch of a source's bytes lies: in which open file, and where there.
struct Piece {
    int fd = -1;
    std::int64_t fileOffset = 0;
    std::size_t count = 0;
};

// A source whose bytes lie in open files, so that a clip can copy them in the kernel.
class PosixSource : public SourceFile {
public:
    // The stretches of files that hold `count` bytes from `offset`, cut at the source's end.
    virtual std::vector<Piece> pieces(std::int64_t offset, std::size_t count) const = 0;

    std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) override {
        std::size_t done = 0;
        for (const Piece& piece : pieces(offset, count)) {
            const std::size_t got =
                readFully(piece.fd, piece.fileOffset, buffer + done, piece.count);
            done += got;
            if (got < piece.count)
                break;
        }
        return done;
    }
};

class PosixSourceFile : public PosixSource {
public:
    explicit PosixSourceFile(OpenedFile file) : fd_(file.fd), size_(file.size) {}

    std::int64_t size() const override { return size_; }

    std::vector<Piece> pieces(std::int64_t offset, std::size_t count) const override {
        // Reads go on past the size seen at opening: a source that grew shows it so.
        return {{fd_.get(), offset, count}};
    }

private:
    FileDescriptor fd_;
    std::int64_t size_;
};

// A DVD title's extents as one source: each file opened once, read in the title's order.
class PosixTitleSource : public PosixSource {
public:
    explicit PosixTitleSource(const Title& title) {
        std::vector<std::string> paths;
        for (const Extent& extent : title.extents) {
            const auto known = std::find(paths.begin(), paths.end(), extent.path);
            const auto index = static_cast<std::size_t>(known - paths.begin());
            if (known == paths.end()) {
                const OpenedFile file = openRegular(extent.path);
                files_.push_back(std::make_unique<FileDescriptor>(file.fd));
                sizes_.push_back(file.size);
                paths.push_back(extent.path);
            }
            // The disc was read when it was opened: a file too short for it changed since.
            if (extent.offset < 0 || extent.length <= 0 ||
                extent.offset + extent.length > sizes_[index])
                throw FileError("the source file changed since it was opened");
            extents_.push_back({files_[index]->get(), extent.offset, extent.length, size_});
            size_ += extent.length;
        }
    }

    std::int64_t size() const override { return size_; }

    std::vector<Piece> pieces(std::int64_t offset, std::size_t count) const override {
        std::vector<Piece> found;
        auto extent = std::upper_bound(
            extents_.begin(), extents_.end(), offset,
            [](std::int64_t at, const Placed& placed) { return at < placed.titleOffset; });
        if (offset < 0 || extent == extents_.begin())
            return found;
        --extent;
        std::int64_t at = offset;
        auto left = static_cast<std::int64_t>(count);
        for (; extent != extents_.end() && left > 0; ++extent) {
            const std::int64_t take = std::min(left, extent->titleOffset + extent->length - at);
            if (take <= 0)
                continue;
            found.push_back({extent->fd, extent->fileOffset + (at - extent->titleOffset),
                             static_cast<std::size_t>(take)});
            at += take;
            left -= take;
        }
        return found;
    }

private:
    struct Placed {
        int fd;
        std::int64_t fileOffset;
        std::int64_t length;
        std::int64_t titleOffset; // where it starts among the title's bytes
    };

    std::vector<std::unique_ptr<FileDescriptor>> files_;
    std::vector<std::int64_t> sizes_;
    std::vector<Placed> extents_;
    std::int64_t size_ = 0;
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

std::string folderError(int error) {
    return "the destination folder cannot be written (" + describeErrno(error) + ")";
}

// Short and of fixed length, so any name the file system accepts for the clip still
// leaves room in the folder for the temporary one.
constexpr const char* kTemporaryPattern = ".parvane-XXXXXX";

// Six random letters or digits after the fixed prefix.
std::string randomTemporaryName() {
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    std::string name(kTemporaryPattern);
    for (char& letter : name)
        if (letter == 'X')
            letter = kLetters[pick(generator)];
    return name;
}

class PosixClipFile : public ClipFile {
public:
    // `file` is open for writing in `folder`; `temporaryName` is its name there, or empty
    // while it has none.
    PosixClipFile(int folder, int file, std::string temporaryName, std::string destination)
        : folder_(folder), fd_(file), temporaryName_(std::move(temporaryName)),
          destination_(std::move(destination)) {}

    ~PosixClipFile() override {
        if (!committed_ && !temporaryName_.empty())
            ::unlinkat(folder_.get(), temporaryName_.c_str(), 0);
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

    std::optional<std::size_t> copyFrom(SourceFile& source, std::int64_t sourceOffset,
                                        std::int64_t offset, std::size_t count) override;

    void startWriteBack(std::int64_t offset, std::int64_t count) override {
        syncRange(offset, count, SYNC_FILE_RANGE_WRITE);
    }

    void awaitWriteBack(std::int64_t offset, std::int64_t count) override {
        syncRange(offset, count,
                  SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        // The kernel's write-back ends in the disk's own cache, which may hold gigabytes (a
        // virtual machine's host caches its disk image): emptying it now and then keeps the
        // sync at commit as short as the rest of the write.
        if (offset + count - flushedTo_ >= kFlushEvery) {
            if (::fdatasync(fd_.get()) != 0)
                throw FileError(describeErrno(errno));
            flushedTo_ = offset + count;
        }
    }

    void commit() override {
        keepReplacedFilesOwnership();
        if (::fsync(fd_.get()) != 0)
            throw FileError(describeErrno(errno));
        if (temporaryName_.empty())
            giveName();
        if (::renameat(folder_.get(), temporaryName_.c_str(), folder_.get(),
                       nameOf(destination_).c_str()) != 0)
            throw FileError(describeErrno(errno));
        committed_ = true;
        // Closing is where some file systems first report a failed write; the rename
        // made the clip visible, so a failure here is the system's last word on it.
        if (fd_.close() != 0)
            throw FileError(describeErrno(errno));
        // Make the rename itself durable; the clip is complete either way.
        ::fsync(folder_.get());
    }

private:
    // A nameless file gets a name only now, so nothing is left if the program dies first.
    void giveName() {
        const std::string procPath = "/proc/self/fd/" + std::to_string(fd_.get());
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::string name = randomTemporaryName();
            if (::linkat(AT_FDCWD, procPath.c_str(), folder_.get(), name.c_str(),
                         AT_SYMLINK_FOLLOW) == 0) {
                temporaryName_ = name;
                return;
            }
            if (errno != EEXIST)
                throw FileError(folderError(errno));
        }
        throw FileError(folderError(EEXIST));
    }

    // The data only: the sync in commit() still writes the file's size and blocks, and
    // asks the disk to empty its own cache.
    void syncRange(std::int64_t offset, std::int64_t count, unsigned int flags) {
        if (!writesBackRanges_)
            return;
        while (::sync_file_range(fd_.get(), static_cast<off64_t>(offset),
                                 static_cast<off64_t>(count), flags) != 0) {
            if (errno == EINTR)
                continue;
            // A file system that cannot write back part of a file gets all of it at commit.
            if (errno == EINVAL || errno == ENOSYS || errno == ESPIPE || errno == EOPNOTSUPP) {
                writesBackRanges_ = false;
                return;
            }
            throw FileError(describeErrno(errno));
        }
    }

    void keepReplacedFilesOwnership() {
        struct stat existing {};
        mode_t mode = 0;
        if (::stat(destination_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
            // Only root may give a file away; others keep their own, as a new file would,
            // so a refusal is no error. (A (void) cast does not quiet glibc's fortified
            // declaration.)
            if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) {
                [[maybe_unused]] const int given =
                    ::fchown(fd_.get(), existing.st_uid, existing.st_gid);
            }
            mode = existing.st_mode & 07777;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        // After the owner: changing it clears the set-id bits.
        if (::fchmod(fd_.get(), mode) != 0)
            throw FileError(describeErrno(errno));
    }

    FileDescriptor folder_;
    FileDescriptor fd_;
    std::string temporaryName_;
    std::string destination_;
    bool committed_ = false;
    bool writesBackRanges_ = true;
    std::int64_t flushedTo_ = 0; // the bytes before this are out of the disk's cache
    static constexpr std::int64_t kFlushEvery = std::int64_t{256} << 20;
};

std::optional<std::size_t> PosixClipFile::copyFrom(SourceFile& source, std::int64_t sourceOffset,
                                                   std::int64_t offset, std::size_t count) {
    auto* posixSource = dynamic_cast<PosixSource*>(&source);
    if (!posixSource)
        return std::nullopt;
    auto to = static_cast<off64_t>(offset);
    std::size_t done = 0;
    // One kernel copy per file the request reaches.
    for (const Piece& piece : posixSource->pieces(sourceOffset, count)) {
        auto from = static_cast<off64_t>(piece.fileOffset);
        std::size_t pieceDone = 0;
        while (pieceDone < piece.count) {
            const ssize_t moved =
                ::copy_file_range(piece.fd, &from, fd_.get(), &to, piece.count - pieceDone, 0);
            if (moved == 0)
                return done + pieceDone;
            if (moved < 0) {
                if (errno == EINTR)
                    continue;
                // The kernel cannot copy between these files: read and write instead.
                if (done + pieceDone == 0 &&
                    (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP ||
                     errno == ENOTSUP))
                    return std::nullopt;
                throw FileError(describeErrno(errno));
            }
            pieceDone += static_cast<std::size_t>(moved);
        }
        done += pieceDone;
    }
    return done;
}

} // namespace

PathStatus PosixFileSystem::inspect(const std::string& path) const {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {PathStatus::Kind::Absent, {}};
        return {PathStatus::Kind::Unknowable, describeErrno(errno)};
    }
    if (S_ISLNK(info.st_mode)) {
        // A link is replaced itself, never its target; one that leads nowhere is a file
        // the user can still be asked about.
        struct stat target {};
        if (::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode))
            return {PathStatus::Kind::NotAFile, {}};
        return {PathStatus::Kind::File, {}};
    }
    return {S_ISREG(info.st_mode) ? PathStatus::Kind::File : PathStatus::Kind::NotAFile, {}};
}

bool PosixFileSystem::sameFile(const std::string& a, const std::string& b) const {
    struct stat first {};
    struct stat second {};
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::unique_ptr<SourceFile> PosixFileSystem::openSource(const std::string& path) {
    return std::make_unique<PosixSourceFile>(openRegular(path));
}

std::unique_ptr<SourceFile> PosixFileSystem::openTitle(const Title& title) {
    return std::make_unique<PosixTitleSource>(title);
}

std::unique_ptr<ClipFile> PosixFileSystem::createClip(const std::string& destination) {
    const std::string folderPath = folderOf(destination);
    FileDescriptor folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.get() < 0)
        throw FileError(folderError(errno));
    // A file without a name vanishes with the process, however it ends.
    const int nameless = ::openat(folder.get(), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (nameless >= 0)
        return std::make_unique<PosixClipFile>(folder.release(), nameless, std::string(),
                                               destination);
    // Where the file system has no nameless files, a hidden one that a normal end removes.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = randomTemporaryName();
        const int fd =
            ::openat(folder.get(), name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0)
            return std::make_unique<PosixClipFile>(folder.release(), fd, name, destination);
        if (errno != EEXIST)
            throw FileError(folderError(errno));
    }
    throw FileError(folderError(EEXIST));
}

} // namespace parvane
