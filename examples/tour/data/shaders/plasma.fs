#version 420 core
#include common.glsl

layout(binding = 0) uniform sampler2D rings;

in vec3 vertex_colour;
in vec2 vertex_uv;
out vec4 outColor;

void main()
{
    // Centred coordinates with the window's aspect ratio.
    vec2 p = (vertex_uv - 0.5) * vec2(iRes.x / iRes.y, 1.0) * 2.0;
    float plasma = sin(p.x * 3.0 + iTime) + sin(p.y * 4.0 - iTime * 1.3)
                 + sin(length(p) * 6.0 - iTime * 2.0);
    vec3 colour = palette(plasma * 0.25 + iTime * 0.05);

    // The texture spins and breathes in the middle.
    float angle = iTime * 0.5;
    mat2 spin = mat2(cos(angle), -sin(angle), sin(angle), cos(angle));
    vec2 t = spin * p * (0.9 + 0.2 * sin(iTime)) * 0.5 + 0.5;
    vec4 image = texture(rings, t);
    float inside = step(0.0, t.x) * step(t.x, 1.0) * step(0.0, t.y) * step(t.y, 1.0);
    colour = mix(colour * 0.6, image.rgb, inside * 0.85);

    // Fade in over the first second.
    outColor = vec4(colour * vertex_colour * clamp(iTime, 0.0, 1.0), 1.0);
}
