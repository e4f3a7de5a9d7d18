// geometry_scene: description and script forms of a small test mesh.
#include "support/geometry_scene.h"

const char* const geometry_scene::pass_through_vs = R"(#version 420 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 colour;
layout(location = 2) in vec2 uv;
out vec3 v_colour;
out vec2 v_uv;
void main() { v_colour = colour; v_uv = uv; gl_Position = vec4(position, 1.0); }
)";

const char* const geometry_scene::colour_fs = R"(#version 420 core
in vec3 v_colour;
out vec4 outColor;
void main() { outColor = vec4(v_colour, 1.0); }
)";

const char* const geometry_scene::texture_fs = R"(#version 420 core
in vec2 v_uv;
layout(binding = 0) uniform sampler2D image;
out vec4 outColor;
void main() { outColor = texture(image, v_uv); }
)";

std::uint32_t geometry_scene::vertex(double x, double y, const rgb& colour, double u, double v)
{
    vertices.push_back({{"xyz", {x, y, 0.0}}, {"rgb", colour}, {"uv", {u, v}}});
    return static_cast<std::uint32_t>(vertices.size() - 1);
}

geometry_scene& geometry_scene::triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c)
{
    elements.push_back(a);
    elements.push_back(b);
    elements.push_back(c);
    return *this;
}

geometry_scene& geometry_scene::rectangle(double left, double top, double right, double bottom, const rgb& colour)
{
    const std::uint32_t top_left = vertex(left, top, colour, 0, 0);
    const std::uint32_t top_right = vertex(right, top, colour, 1, 0);
    const std::uint32_t bottom_right = vertex(right, bottom, colour, 1, 1);
    const std::uint32_t bottom_left = vertex(left, bottom, colour, 0, 1);
    triangle(top_left, top_right, bottom_right);
    return triangle(bottom_right, bottom_left, top_left);
}

nlohmann::json geometry_scene::effect(const std::string& vs_src, const std::string& fs_src) const
{
    return {{"vs_src", vs_src}, {"fs_src", fs_src}, {"vertices", vertices}, {"elements", elements}};
}

std::string geometry_scene::script_literal() const
{
    nlohmann::json script_vertices = nlohmann::json::array();
    for (const nlohmann::json& entry : vertices) {
        const nlohmann::json& xyz = entry["xyz"];
        const nlohmann::json& colour = entry["rgb"];
        const nlohmann::json& uv = entry["uv"];
        script_vertices.push_back({{"x", xyz[0]}, {"y", xyz[1]}, {"z", xyz[2]}, {"r", colour[0]},
                                   {"g", colour[1]}, {"b", colour[2]}, {"u", uv[0]}, {"v", uv[1]}});
    }
    return nlohmann::json{{"vertices", script_vertices}, {"elements", elements}}.dump();
}
