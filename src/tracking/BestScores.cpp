#include "tracking/BestScores.h"

#include <algorithm>
#include <limits>

CBestScores::CBestScores(std::size_t count) : count_(std::max<std::size_t>(count, 1)) {}

float CBestScores::Bound() const {
    return scores_.size() < count_ ? std::numeric_limits<float>::infinity() : scores_.back();
}

void CBestScores::Offer(float score) {
    if (!(score < Bound())) return;
    scores_.insert(std::upper_bound(scores_.begin(), scores_.end(), score), score);
    if (scores_.size() > count_) scores_.pop_back();
}
