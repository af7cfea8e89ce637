#include "decode/ReadAhead.h"

#include <algorithm>

namespace vaun {

ReadAhead::ReadAhead(AudioFile file, std::uint32_t blockFrames, std::int64_t totalFrames, std::size_t depth)
    : file_(std::move(file)), blockFrames_(blockFrames), totalFrames_(totalFrames), onCaller_(depth == 0) {
    const auto channels = file_.processingFormat().channelCount;
    for (std::size_t i = 0; i < std::max<std::size_t>(depth, 1); ++i) {
        auto buffer = AudioPCMBuffer::make(channels, blockFrames);
        if (!buffer) {
            slots_.clear();
            return;
        }
        slots_.push_back(std::move(buffer));
        free_.push_back(i);
    }
    if (!onCaller_) reader_ = std::thread([this] { readLoop(); });
}

ReadAhead::~ReadAhead() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (reader_.joinable()) reader_.join();
}

void ReadAhead::readLoop() {
    std::int64_t done = 0;
    while (true) {
        std::size_t slot;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || !free_.empty(); });
            if (stopping_) return;
            slot = free_.front();
            free_.pop_front();
        }
        auto& buffer = *slots_[slot];
        std::exception_ptr error;
        std::uint32_t frames = 0;
        if (done < totalFrames_) {
            try {
                buffer.setFrameLength(0);
                file_.read(buffer, std::uint32_t(std::min<std::int64_t>(totalFrames_ - done, blockFrames_)));
                frames = buffer.frameLength();
            } catch (...) {
                error = std::current_exception();
            }
        }
        {
            std::lock_guard lock(mutex_);
            if (frames > 0) {
                filled_.push_back(slot);
            } else {
                free_.push_back(slot);
                error_ = error;
                ended_ = true;
            }
        }
        changed_.notify_all();
        if (frames == 0) return;
        done += frames;
    }
}

std::optional<ReadAhead::Block> ReadAhead::readHere() {
    if (done_ >= totalFrames_) return std::nullopt;
    auto& buffer = *slots_.front();
    buffer.setFrameLength(0);
    file_.read(buffer, std::uint32_t(std::min<std::int64_t>(totalFrames_ - done_, blockFrames_)));
    if (buffer.frameLength() == 0) return std::nullopt;
    done_ += buffer.frameLength();
    return Block{buffer.floatChannelData(), buffer.frameLength(), 0};
}

std::optional<ReadAhead::Block> ReadAhead::next() {
    if (!valid()) return std::nullopt;
    if (onCaller_) return readHere();
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !filled_.empty() || ended_; });
    if (filled_.empty()) {
        if (error_) std::rethrow_exception(error_);
        return std::nullopt;
    }
    const std::size_t slot = filled_.front();
    filled_.pop_front();
    const auto& buffer = *slots_[slot];
    return Block{buffer.floatChannelData(), buffer.frameLength(), slot};
}

void ReadAhead::release(const Block& block) {
    if (onCaller_) return;
    {
        std::lock_guard lock(mutex_);
        free_.push_back(block.slot);
    }
    changed_.notify_all();
}

} // namespace vaun
