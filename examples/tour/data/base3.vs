#version 420 core
// Full-screen pass: the quad arrives in clip space with its texture
// coordinates; v is 0 at the top edge.
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 colour;
layout(location = 2) in vec2 uv;

out vec3 vertex_colour;
out vec2 vertex_uv;

void main()
{
    vertex_colour = colour;
    vertex_uv = uv;
    gl_Position = vec4(position, 1.0);
}
