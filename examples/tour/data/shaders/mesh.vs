#version 420 core
// Geometry effects: positions come from the description (and from the
// scripts that replace them); the aspect ratio keeps shapes round.
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 colour;
layout(location = 2) in vec2 uv;

uniform vec2 iRes;

out vec3 vertex_colour;
out vec2 vertex_uv;

void main()
{
    vertex_colour = colour;
    vertex_uv = uv;
    gl_Position = vec4(position.x * iRes.y / iRes.x, position.y, position.z, 1.0);
}
