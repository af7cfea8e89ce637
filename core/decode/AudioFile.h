#pragma once
// An audio file opened for reading through FFmpeg, decoded to 32-bit float with one
// plane per channel at the file's own rate and channel count.
#include "decode/AudioFormat.h"
#include "decode/StreamFacts.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace vaun {

// Non-interleaved 32-bit float samples: one plane per channel, room for frameCapacity frames.
class AudioPCMBuffer {
public:
    // Null when no buffer can be made (no channels, no capacity).
    static std::unique_ptr<AudioPCMBuffer> make(std::uint32_t channelCount, std::uint32_t frameCapacity);

    AudioPCMBuffer(std::uint32_t channelCount, std::uint32_t frameCapacity);
    // The planes point into the buffer's own storage: moving keeps them valid, copying would not.
    AudioPCMBuffer(const AudioPCMBuffer&) = delete;
    AudioPCMBuffer& operator=(const AudioPCMBuffer&) = delete;
    AudioPCMBuffer(AudioPCMBuffer&&) noexcept = default;
    AudioPCMBuffer& operator=(AudioPCMBuffer&&) noexcept = default;

    std::uint32_t channelCount() const { return std::uint32_t(planes_.size()); }
    std::uint32_t frameCapacity() const { return frameCapacity_; }
    std::uint32_t frameLength() const { return frameLength_; }
    void setFrameLength(std::uint32_t frames); // clamped to the capacity

    // One pointer per channel, each addressing frameCapacity floats.
    float* const* floatChannelData() { return planes_.data(); }
    const float* const* floatChannelData() const { return planes_.data(); }

private:
    std::vector<float> storage_;
    std::vector<float*> planes_;
    std::uint32_t frameCapacity_;
    std::uint32_t frameLength_ = 0;
};

class AudioFile {
public:
    // Throws DecoderError (or SystemError) when the file cannot be opened, has no audio
    // stream or no decoder for it.
    explicit AudioFile(const std::filesystem::path& path);
    ~AudioFile();
    AudioFile(AudioFile&&) noexcept;
    AudioFile& operator=(AudioFile&&) noexcept;
    AudioFile(const AudioFile&) = delete;
    AudioFile& operator=(const AudioFile&) = delete;

    // The file's native format: codec identifier, bits per channel, channel layout.
    const AudioFormat& fileFormat() const;
    // The format reads deliver: 'lpcm' 32-bit float, same rate, channels and layout.
    const AudioFormat& processingFormat() const;
    // Frames the reads of an intact file deliver, encoder delay and padding removed where
    // the file records them (LAME/Info, MP4 edit lists and iTunSMPB, CAF packet tables);
    // reads never deliver more. A damaged file may deliver fewer.
    std::int64_t length() const;
    // Codec names and profile, average bit rate and tags.
    const StreamFacts& streamFacts() const;

    // Reads up to frameCount frames (at most the buffer's capacity) from the current
    // position; afterwards buffer.frameLength() tells how many arrived, 0 at the end.
    // Never allocates once the stream is running. Damage inside the file ends the data
    // early; throws DecoderError on an I/O failure or a buffer of another channel count.
    void read(AudioPCMBuffer& buffer, std::uint32_t frameCount);

    // Frame the next read starts at.
    std::int64_t framePosition() const;
    // Moves the read position, clamped to 0...length(); frame-accurate (seeks before the
    // frame and decodes forward).
    void setFramePosition(std::int64_t frame);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace vaun
