// gl_object_census: how many shaders, programs, buffers, vertex arrays,
// textures and framebuffers exist in the current GL context, found by asking
// GL about every name up to a bound. Shows the objects a failed step left
// behind. Needs a current context (gl_window).
#pragma once

#include <GL/glew.h>

#include <ostream>

struct gl_object_census {
    static constexpr GLuint highest_name = 16384; // names asked about: 1 to this; a test process makes far fewer

    // The objects that exist now.
    static gl_object_census take();

    int shaders = 0;       // glIsShader
    int programs = 0;      // glIsProgram
    int buffers = 0;       // glIsBuffer (a buffer exists once it was bound)
    int vertex_arrays = 0; // glIsVertexArray (likewise)
    int textures = 0;      // glIsTexture (likewise)
    int framebuffers = 0;  // glIsFramebuffer (likewise)
};

bool operator==(const gl_object_census& left, const gl_object_census& right);
bool operator!=(const gl_object_census& left, const gl_object_census& right);
void PrintTo(const gl_object_census& census, std::ostream* out);
