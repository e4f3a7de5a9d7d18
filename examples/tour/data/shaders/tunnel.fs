#version 420 core
#include common.glsl

layout(binding = 0) uniform sampler2D rings;

in vec3 vertex_colour;
in vec2 vertex_uv;
out vec4 outColor;

// Layer 0: a tunnel textured with the rings, flying forward.
void main()
{
    vec2 p = (vertex_uv - 0.5) * vec2(iRes.x / iRes.y, 1.0);
    float radius = max(length(p), 0.001);
    vec2 t = vec2(atan(p.y, p.x) / 6.28318 * 2.0, 0.3 / radius + iTime * 0.8);
    vec3 image = texture(rings, t).rgb;
    outColor = vec4(image * palette(iTime * 0.1) * clamp(radius * 2.0, 0.0, 1.0), 1.0);
}
