// The `count` smallest match scores offered so far (smaller is better), and the bound a score
// must stay below to join them: a keyframe whose partial score passes the bound cannot be kept,
// and need not be scored to the end.
#pragma once

#include <cstddef>
#include <vector>

class CBestScores {
public:
    explicit CBestScores(std::size_t count);  // at least 1

    // Infinite until `count` scores were offered, then the largest of the kept ones.
    float Bound() const;
    // Scores not below the bound, NaN among them, are not kept.
    void Offer(float score);

private:
    std::size_t count_;
    std::vector<float> scores_;  // ascending
};
