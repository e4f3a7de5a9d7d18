#version 420 core
#include common.glsl

layout(binding = 0) uniform sampler2D rings;

in vec3 vertex_colour;
in vec2 vertex_uv;
out vec4 outColor;

void main()
{
    vec3 image = texture(rings, vertex_uv + vec2(iTime * 0.1, 0.0)).rgb;
    outColor = vec4(mix(vertex_colour, image, 0.35), 1.0);
}
