#include "fakes.h"

namespace parvane::testing {

std::unique_ptr<SourceFile> HookedFileSystem::openSource(const std::string& path) {
    if (!onRead)
        return real_.openSource(path);
    class HookedSource : public SourceFile {
    public:
        HookedSource(std::unique_ptr<SourceFile> real, const std::function<void(int)>& onRead)
            : real_(std::move(real)), onRead_(onRead) {}
        std::int64_t size() const override { return real_->size(); }
        std::size_t readAt(std::int64_t offset, std::byte* buffer, std::size_t count) override {
            onRead_(++reads_);
            return real_->readAt(offset, buffer, count);
        }

    private:
        std::unique_ptr<SourceFile> real_;
        const std::function<void(int)>& onRead_;
        int reads_ = 0;
    };
    return std::make_unique<HookedSource>(real_.openSource(path), onRead);
}

std::unique_ptr<ClipFile> HookedFileSystem::createClip(const std::string& destination) {
    if (failWritesFrom == std::numeric_limits<std::int64_t>::max())
        return real_.createClip(destination);
    class HookedClip : public ClipFile {
    public:
        HookedClip(std::unique_ptr<ClipFile> real, std::int64_t failFrom)
            : real_(std::move(real)), failFrom_(failFrom) {}
        void writeAt(std::int64_t offset, const std::byte* data, std::size_t count) override {
            if (offset >= failFrom_)
                throw FileError("Input/output error");
            real_->writeAt(offset, data, count);
        }
        void commit() override { real_->commit(); }

    private:
        std::unique_ptr<ClipFile> real_;
        std::int64_t failFrom_;
    };
    return std::make_unique<HookedClip>(real_.createClip(destination), failWritesFrom);
}

} // namespace parvane::testing
