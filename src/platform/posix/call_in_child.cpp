#include "call_in_child.h"

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <system_error>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace parvane {

namespace {

bool writeAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<std::size_t>(wrote);
    }
    return true;
}

// What the child writes: its output's length in 8 bytes, then the output. The parent knows
// from it when all has come, even where another process holds the pipe open too.
constexpr std::size_t kLengthBytes = 8;

std::string framed(const std::string& output) {
    std::string bytes(kLengthBytes, '\0');
    const auto length = static_cast<std::uint64_t>(output.size());
    for (std::size_t i = 0; i < kLengthBytes; ++i)
        bytes[i] = static_cast<char>(length >> (8 * i) & 0xFF);
    return bytes + output;
}

std::optional<std::uint64_t> announcedLength(const std::string& received) {
    if (received.size() < kLengthBytes)
        return std::nullopt;
    std::uint64_t length = 0;
    for (std::size_t i = 0; i < kLengthBytes; ++i)
        length |= std::uint64_t{static_cast<unsigned char>(received[i])} << (8 * i);
    return length;
}

[[noreturn]] void runChild(const std::function<std::string()>& work, int out) {
    // The parent's handlers would tell the parent's event loop to stop.
    for (const int signal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT})
        std::signal(signal, SIG_DFL);
    int status = 1;
    try {
        status = writeAll(out, framed(work())) ? 0 : 1;
    } catch (...) {
    }
    ::_exit(status);
}

// Reads what the child sends until all its output has come, the pipe ends, or the time is up.
std::optional<std::string> receive(int in, std::chrono::steady_clock::time_point deadline) {
    std::string received;
    for (;;) {
        if (const auto length = announcedLength(received);
            length && received.size() - kLengthBytes >= *length) {
            if (received.size() - kLengthBytes > *length)
                return std::nullopt;
            return received.substr(kLengthBytes);
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return std::nullopt;
        pollfd ready{in, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return std::nullopt;
        char buffer[65536];
        const ssize_t got = ::read(in, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return std::nullopt; // the child ended before it had said all
        received.append(buffer, static_cast<std::size_t>(got));
    }
}

} // namespace

std::optional<std::string> callInChild(const std::function<std::string()>& work,
                                       std::chrono::milliseconds limit) {
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe");
    const auto deadline = std::chrono::steady_clock::now() + limit;
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(pipe[0]);
        ::close(pipe[1]);
        throw std::system_error(error, std::generic_category(), "fork");
    }
    if (child == 0) {
        ::close(pipe[0]);
        runChild(work, pipe[1]);
    }
    ::close(pipe[1]);
    auto output = receive(pipe[0], deadline);
    ::close(pipe[0]);
    if (!output)
        ::kill(child, SIGKILL); // it crashed, hangs or said too much: it is done either way
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return std::nullopt;
    return output;
}

} // namespace parvane
