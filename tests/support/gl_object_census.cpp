// gl_object_census: one pass over the names for each kind of object.
#include "support/gl_object_census.h"

namespace {

// How many of the names 1 to highest_name is_object says exist.
int count_existing(GLboolean (*is_object)(GLuint))
{
    int count = 0;
    for (GLuint name = 1; name <= gl_object_census::highest_name; ++name) {
        count += is_object(name) == GL_TRUE ? 1 : 0;
    }
    return count;
}

} // namespace

gl_object_census gl_object_census::take()
{
    gl_object_census census;
    census.shaders = count_existing([](GLuint name) { return glIsShader(name); });
    census.programs = count_existing([](GLuint name) { return glIsProgram(name); });
    census.buffers = count_existing([](GLuint name) { return glIsBuffer(name); });
    census.vertex_arrays = count_existing([](GLuint name) { return glIsVertexArray(name); });
    census.textures = count_existing([](GLuint name) { return glIsTexture(name); });
    census.framebuffers = count_existing([](GLuint name) { return glIsFramebuffer(name); });
    return census;
}

bool operator==(const gl_object_census& left, const gl_object_census& right)
{
    return left.shaders == right.shaders && left.programs == right.programs && left.buffers == right.buffers &&
           left.vertex_arrays == right.vertex_arrays && left.textures == right.textures &&
           left.framebuffers == right.framebuffers;
}

bool operator!=(const gl_object_census& left, const gl_object_census& right) { return !(left == right); }

void PrintTo(const gl_object_census& census, std::ostream* out)
{
    *out << census.shaders << " shaders, " << census.programs << " programs, " << census.buffers << " buffers, "
         << census.vertex_arrays << " vertex arrays, " << census.textures << " textures, " << census.framebuffers
         << " framebuffers";
}
