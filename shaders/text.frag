#version 330 core
// The red channel is coverage: a flat colour whose alpha fades with it.
in vec2 TexCoords;
out vec4 color;

uniform sampler2D text;
uniform vec4 textColor;

void main()
{
    float coverage = texture(text, TexCoords).r;
    color = textColor * vec4(1.0, 1.0, 1.0, coverage);
}
