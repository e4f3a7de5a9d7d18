// geometry_scene: builds the JSON description of a geometry effect (its
// "vertices" and "elements") from rectangles and triangles, with the shader
// texts the geometry and layers tests draw with. Depends on nlohmann/json.
#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <string>

class geometry_scene {
public:
    using rgb = std::array<double, 3>;

    // Vertex shader passing colour and texture coordinates on.
    static const char* const pass_through_vs;
    // Fragment shader drawing the vertex colour.
    static const char* const colour_fs;
    // Fragment shader drawing texture unit 0 at the vertex's u v.
    static const char* const texture_fs;

    // Appends one vertex; returns its index.
    std::uint32_t vertex(double x, double y, const rgb& colour, double u = 0, double v = 0);
    // Appends the three indices of one triangle.
    geometry_scene& triangle(std::uint32_t a, std::uint32_t b, std::uint32_t c);
    // Two triangles over the rectangle in clip space, u v 0 0 at its top left.
    geometry_scene& rectangle(double left, double top, double right, double bottom, const rgb& colour);

    // The effect object: "vs_src", "fs_src", "vertices" and "elements".
    nlohmann::json effect(const std::string& vs_src, const std::string& fs_src) const;
    // The mesh as a script literal for "setGeometry": {vertices, elements}.
    std::string script_literal() const;

    nlohmann::json vertices = nlohmann::json::array(); // "vertices" entries, "xyz" "rgb" "uv" each
    nlohmann::json elements = nlohmann::json::array(); // "elements" indices
};
