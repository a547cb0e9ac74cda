#version 330 core
// Full-window quad whose horizontal texture window slides back and forth:
// a sine of the time, eased by smoothstep, moves it by up to half the
// texture width, one full cycle every 3 pi seconds.
layout (location = 0) in vec3 vertex;
layout (location = 1) in vec2 textCoord;

out vec2 TexCoords;

uniform mat4 projection;
uniform float time;

void main()
{
    float t = (sin(time / 1.5) + 1.0) / 2.0;
    float eased = t * t * (3.0 - 2.0 * t);
    float offset = 0.5 * eased;
    gl_Position = projection * vec4(vertex, 1.0);
    TexCoords = vec2(textCoord.x + offset, textCoord.y);
}
