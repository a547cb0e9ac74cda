#include "timeline.h"

#include <algorithm>

namespace {

void restartSequence(std::vector<TextBlock>& messages) {
    for (TextBlock& message : messages) {
        for (TextLine& line : message.lines) {
            for (TextGlyph& glyph : line.glyphs) {
                glyph.alpha = 0.0f;
                glyph.timer = 0.0f;
            }
        }
        message.state = FadingIn;
    }
}

// The first animated glyph, in reading order, whose fade has not run its course.
TextGlyph* nextFadingGlyph(TextBlock& message, float duration) {
    for (TextLine& line : message.lines) {
        for (TextGlyph& glyph : line.glyphs) {
            if (glyph.animated && glyph.timer < duration) {
                return &glyph;
            }
        }
    }
    return nullptr;
}

// Exactly one glyph moves per frame; time left over after its fade is dropped.
void fadeStep(TextBlock& message, float deltaTime) {
    const bool fadingIn = message.state == FadingIn;
    const float duration = fadingIn ? message.fadeInTime : message.fadeOutTime;
    const float from = fadingIn ? 0.0f : 1.0f;
    const float to = fadingIn ? 1.0f : 0.0f;
    if (TextGlyph* glyph = nextFadingGlyph(message, duration)) {
        glyph->timer += deltaTime;
        const float progress = std::min(glyph->timer / duration, 1.0f);
        glyph->alpha = (1.0f - progress) * from + progress * to;
        return;
    }
    for (TextLine& line : message.lines) {
        for (TextGlyph& glyph : line.glyphs) {
            glyph.timer = 0.0f;
        }
    }
    message.state = fadingIn ? Holding : Done;
}

// The hold is timed on the first glyph of the first line, animated or not.
void holdStep(TextBlock& message, float deltaTime) {
    if (message.lines.empty() || message.lines.front().glyphs.empty()) {
        message.state = FadingOut;
        return;
    }
    TextGlyph& clock = message.lines.front().glyphs.front();
    if (clock.timer < message.holdTime) {
        clock.timer += deltaTime;
    } else {
        message.state = FadingOut;
        clock.timer = 0.0f;
    }
}

}  // namespace

void updateTimeline(std::vector<TextBlock>& messages, float deltaTime) {
    TextBlock* message = firstActiveMessage(messages);
    if (message == nullptr) {
        restartSequence(messages);
        return;
    }
    switch (message->state) {
    case FadingIn:
    case FadingOut:
        fadeStep(*message, deltaTime);
        break;
    case Holding:
        holdStep(*message, deltaTime);
        break;
    case Done:
        break;
    }
}

void stepLogoPath(LogoPath& path, float deltaTime) {
    path.segmentElapsed += deltaTime;
    const uint32_t previous = path.keyIndex == 0 ? 0 : path.keyIndex - 1;
    const uint32_t next = (path.keyIndex + 1) % pathKeyCount;
    const PathKey& target = path.keys[path.keyIndex];
    const PathKey& origin = path.keys[previous];
    const float progress = std::min(path.segmentElapsed / target.duration, 1.0f);
    double eased = 0.0;
    if (progress == 1.0f) {
        eased = 1.0;
    } else if (progress != 0.0f) {
        eased = path.easing.ease(progress);
    }
    const auto easedFloat = static_cast<float>(eased);
    path.offsetX = (target.x - origin.x) * easedFloat + origin.x;
    path.offsetY = (target.y - origin.y) * easedFloat + origin.y;
    if (path.segmentElapsed >= target.duration) {
        path.keyIndex = next;
        path.segmentElapsed = 0.0f;
    }
}
