#pragma once
// The length of a stream in frames, as its reads will deliver it, without decoding it
// whole: from the container's header where that is exact, else from a scan of its
// packets; and the packet bookkeeping that places frames after a byte seek.
#include "decode/FFmpegInput.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vaun::ffmpeg {

inline constexpr std::int64_t kUnknownLength = -1;

// Frames of uncompressed audio from the container's own header, cut to the file.
std::int64_t headerPCMLength(const ContainerLayout& container, const AVCodecParameters& par);

// A packet a seek can start from: its byte position and the frame its samples begin at.
struct SeekPoint {
    std::int64_t pos = 0;
    std::int64_t frame = 0;
};

// Frames one packet yields, following libavcodec's handling of skip-samples side data
// and discarded packets. `skip` carries over between packets, as in the decoder.
class PacketModel {
public:
    PacketModel(AVCodecParameters* par, AVRational timeBase, bool trim) : par_(par), timeBase_(timeBase), trim_(trim) {}

    // Frames for `packet`, or kUnknownLength when neither codec nor container tells.
    std::int64_t frames(const AVPacket* packet);

    // No skip is pending: the next packet's frames follow on directly.
    bool settled() const { return skip_ == 0; }

private:
    AVCodecParameters* par_;
    AVRational timeBase_;
    bool trim_;
    std::int64_t skip_ = 0;
};

// After a byte seek to a seek point, the frame each packet's samples begin at, so that
// decoded frames are placed by their packet rather than by timestamps the demuxer can
// only estimate. Anything unexpected makes the placement fail rather than guess.
class PacketTrail : public PacketObserver {
public:
    PacketTrail(PacketModel model, SeekPoint from) : model_(model), expectedPos_(from.pos), next_(from.frame) {}

    void packet(AVPacket& packet) override;

    std::optional<std::int64_t> place(const AVFrame& frame) const;

private:
    struct Entry {
        std::int64_t pos, start, frames;
    };
    PacketModel model_;
    std::int64_t expectedPos_;
    std::int64_t next_;
    std::vector<Entry> entries_;
    bool lost_ = false;
};

struct Scan {
    std::int64_t length = kUnknownLength;
    // About one a second, where the demuxer can seek to a byte position.
    std::vector<SeekPoint> points;
    // Bytes of the stream's packets met, the audio payload the length was counted from;
    // absent where the length did not come from the packets.
    std::optional<std::int64_t> payloadBytes;
};

// FLAC STREAMINFO's total samples, cut to where the frames in the file end, and the bytes
// from the first frame to the end of the last.
Scan streamInfoLength(const Source& source, int index, const AVCodecParameters& par);

// Counts the frames a decode would deliver with a second demux pass over the packets,
// without decoding more than a few of them, and notes seek points on the way.
Scan scanLength(const Source& source, int index, AVCodecParameters* par);
// The last resort: decodes the whole stream and counts.
std::int64_t decodeLength(const Source& source, int index);

} // namespace vaun::ffmpeg
