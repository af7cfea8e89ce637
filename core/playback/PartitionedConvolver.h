#pragma once
// Uniformly partitioned overlap-save convolution of many sources with two-ear filters,
// summed per ear in the frequency domain: one inverse transform per ear and block however
// many sources play. A source whose filter changed is convolved with both filters for one
// block and faded from the old to the new, so moving sources neither click nor zip.
#include <complex>
#include <cstddef>
#include <memory>
#include <vector>

namespace vaun {

class PartitionedConvolver {
public:
    using Bins = std::vector<std::complex<float>>;
    // A two-ear filter cut into partitions of one block, transformed.
    struct Filter {
        Bins left;
        Bins right;
    };
    // The transforms of a source's recent input blocks, newest first.
    struct Source {
        Bins history;
        std::vector<float> previous; // the last input block (overlap)
        std::size_t head = 0;
    };

    PartitionedConvolver(std::size_t blockFrames, std::size_t filterFrames);
    ~PartitionedConvolver();
    PartitionedConvolver(const PartitionedConvolver&) = delete;
    PartitionedConvolver& operator=(const PartitionedConvolver&) = delete;

    std::size_t blockFrames() const { return block_; }
    Filter transform(const float* left, const float* right) const;
    Source makeSource() const;
    static void clear(Source& source);

    // One block: begin, add every source's block of input, finish.
    void begin();
    // `previous` is the filter of the block before when it differs from `current`, else null.
    void add(Source& source, const float* input, const Filter& current, const Filter* previous);
    // Adds the block's ears (blockFrames() frames each) to `left` and `right`.
    void finish(float* left, float* right);

private:
    struct Plans;
    void accumulate(const Source& source, const Filter& filter, Bins& left, Bins& right) const;
    void inverse(Bins& spectrum, float* out, const float* fade, bool fadeOut);

    std::size_t block_;
    std::size_t partitions_;
    std::size_t bins_;
    std::unique_ptr<Plans> plans_;
    std::size_t filterFrames_;
    std::vector<float> fadeIn_;
    // Per ear: sources with a steady filter, the new filters fading in, the old fading out.
    Bins steady_[2], incoming_[2], outgoing_[2];
    bool anyFading_ = false;
};

} // namespace vaun
