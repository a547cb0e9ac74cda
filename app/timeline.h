// The presentation's two clocks, both driven only by the frame delta: the
// message sequence (each message fades in glyph by glyph, holds, fades out,
// then the next; after the last the sequence starts over) and the logo path.
#pragma once

#include <vector>

#include "logo_path.h"
#include "text_block.h"

// Advances the first message that is not done by one step; when all are
// done, resets every message to fading in, fully transparent.
void updateTimeline(std::vector<TextBlock>& messages, float deltaTime);

// Moves the logo along its keyframes, easing each segment.
void stepLogoPath(LogoPath& path, float deltaTime);
