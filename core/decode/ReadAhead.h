#pragma once
// Sequential reads of an AudioFile on a thread of their own, a few blocks ahead of the
// consumer. Blocks arrive in file order and are cut exactly as a plain loop of
// read(min(remaining, blockFrames)) would cut them.
#include "decode/AudioFile.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace vaun {

class ReadAhead {
public:
    struct Block {
        const float* const* planes = nullptr;
        std::uint32_t frames = 0;
        std::size_t slot = 0;
    };

    // `depth` 0 reads on the caller's thread inside next(): for callers that keep every
    // core busy already, where a second thread only adds hand-overs.
    ReadAhead(AudioFile file, std::uint32_t blockFrames, std::int64_t totalFrames, std::size_t depth = 4);
    ~ReadAhead(); // stops the reader and waits for it
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // False when no sample buffer could be made; the reader is then not started.
    bool valid() const { return !slots_.empty(); }

    // The next block, waiting for it; absent once the reads have ended. A read error is
    // rethrown here, after the blocks that came before it.
    std::optional<Block> next();
    // Hands a block's buffer back to the reader; call once per block from next().
    void release(const Block& block);

private:
    void readLoop();
    std::optional<Block> readHere();

    AudioFile file_;
    std::uint32_t blockFrames_;
    std::int64_t totalFrames_;
    std::vector<std::unique_ptr<AudioPCMBuffer>> slots_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::size_t> filled_;
    std::deque<std::size_t> free_;
    bool ended_ = false;
    bool stopping_ = false;
    std::exception_ptr error_;
    std::thread reader_;
    bool onCaller_ = false;
    std::int64_t done_ = 0; // frames read on the caller's thread
};

} // namespace vaun
