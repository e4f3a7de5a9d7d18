#version 420 core
#include common.glsl

// The item's own texture is on unit 0, so the layers follow on 1 and 2.
layout(binding = 1) uniform sampler2D tunnel_layer;
layout(binding = 2) uniform sampler2D shape_layer;

in vec3 vertex_colour;
in vec2 vertex_uv;
out vec4 outColor;

void main()
{
    // Layer images are stored bottom row first; the quad's v runs downwards.
    vec2 uv = vec2(vertex_uv.x, 1.0 - vertex_uv.y);
    vec3 tunnel = texture(tunnel_layer, uv).rgb;
    vec3 shape = texture(shape_layer, uv).rgb;
    float edge = smoothstep(0.0, 0.02, length(shape));
    vec3 colour = mix(tunnel * 0.7, shape + tunnel * 0.3, edge);
    float fade = clamp((20.0 - iTime) / 1.5, 0.0, 1.0);
    outColor = vec4(colour * fade, 1.0);
}
