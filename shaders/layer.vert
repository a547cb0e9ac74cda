#version 330 core
// Draws one layer of a stacked quad: scales it about a centre, moves it,
// and pushes it forward in depth so later layers lie in front.
layout (location = 0) in vec3 vertex;
layout (location = 1) in vec2 textCoord;

out vec2 TexCoords;

uniform mat4 projection;
uniform vec2 displacement;
uniform vec2 center;
uniform float layer;
uniform float scale;

void main()
{
    vec2 position = (vertex.xy - center) * scale + center + displacement;
    gl_Position = projection * vec4(position, vertex.z + layer, 1.0);
    TexCoords = textCoord;
}
