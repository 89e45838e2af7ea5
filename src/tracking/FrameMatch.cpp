#include "tracking/FrameMatch.h"

#include "tracking/TrackedFrame.h"

namespace {

// q o p (apply p, then q), rotation exact: the vector is recomputed from the product matrix.
CPose* ComposeExact(const CPose& q, const CPose* p) {
    if (!p) return new CPose(q);
    CPose* composed = CPose::ComposeNew(&q, *p);
    composed->UpdateRotationVector();
    return composed;
}

}  // namespace

CFrameMatch::CFrameMatch(CTrackedFrame* referenceFrame, CTrackedFrame* currentFrame, float matchWeight)
    : current(currentFrame), reference(referenceFrame), weight(matchWeight) {}

// A frame's pose maps the first tracked frame into it and the relative motion maps the reference
// into the current frame, so the current pose applies the reference pose first:
// P_cur = M_rel o P_ref.
CPose* CFrameMatch::GetAbsolutePose() const {
    if (!relativePose) return nullptr;
    const CPose* referencePose = reference ? reference->GetPose() : nullptr;
    CPose* absolute = ComposeExact(*relativePose, referencePose);
    if (referencePose) absolute->SetWeight(referencePose->GetWeight());
    return absolute;
}

// P_ref = M_rel^-1 o P_cur.
CPose* CFrameMatch::GetReferenceAbsolutePose() const {
    if (!relativePose) return nullptr;
    CPose motion(*relativePose);
    motion.UpdateRotationMatrix();
    float inverseRotation[9];  // R^T, column by column
    float inverseTranslation[3];
    for (int i = 0; i < 3; ++i) {
        inverseTranslation[i] = 0.0f;
        for (int j = 0; j < 3; ++j) {
            inverseRotation[3 * i + j] = motion.GetRotationMatrix(i, j);
            inverseTranslation[i] -= motion.GetRotationMatrix(j, i) * motion.GetTranslation(j);
        }
    }
    CPose inverse(inverseRotation, inverseTranslation);
    inverse.UpdateRotationVector();
    const CPose* currentPose = current ? current->GetPose() : nullptr;
    CPose* absolute = ComposeExact(inverse, currentPose);
    absolute->SetWeight(currentPose ? currentPose->GetWeight() : relativePose->GetWeight());
    return absolute;
}
