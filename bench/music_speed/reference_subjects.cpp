// The mature players, configured as for the agreement test (linear
// interpolation, no filters).
#include "reference_players.h"
#include "render_subject.h"

namespace {

template <ReferencePlayerKind kind>
void* openReference(const void* data, size_t size) {
    return openReferencePlayer(kind, data, size);
}

bool renderReference(void* handle, int16_t* interleaved, size_t frameCount) {
    return renderReferenceFrames(static_cast<ReferencePlayer*>(handle), interleaved, frameCount) == frameCount;
}

void closeReference(void* handle) {
    closeReferencePlayer(static_cast<ReferencePlayer*>(handle));
}

}  // namespace

const RenderSubject libxmpSubject{"libxmp", openReference<ReferencePlayerKind::Libxmp>, renderReference,
                                  closeReference};
const RenderSubject libopenmptSubject{"libopenmpt", openReference<ReferencePlayerKind::Libopenmpt>,
                                      renderReference, closeReference};
