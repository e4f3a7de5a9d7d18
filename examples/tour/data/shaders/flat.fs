#version 420 core
// Layer 1: the vertex colours as they are.
in vec3 vertex_colour;
in vec2 vertex_uv;
out vec4 outColor;

void main()
{
    outColor = vec4(vertex_colour, 1.0);
}
