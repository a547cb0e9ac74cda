#version 330 core
// Opaque texture colour tinted by a mask colour; the texture's alpha is ignored.
in vec2 TexCoords;
out vec4 color;

uniform sampler2D text;
uniform vec4 maskColor;

void main()
{
    color = vec4(texture(text, TexCoords).rgb, 1.0) * maskColor;
}
