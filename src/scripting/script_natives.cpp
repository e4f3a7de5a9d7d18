// script_natives: the bodies of the five natives and their table. They read
// and write script_shared_state, print to standard output and ("clearScreen")
// clear the bound framebuffer. Depends on script_geometry_exchange, GLEW, GLFW.
#include "scripting/script_natives.h"

#include "scripting/script_geometry_exchange.h"
#include "scripting/script_shared_state.h"
#include "scripting/script_text.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <cstdio>
#include <string>

namespace {

// Longest "vertices" or "elements" array that "setGeometry" takes: far
// beyond any real mesh, and it keeps a sparse array's reported length from
// turning into gigabytes of zeros.
constexpr double geometry_entry_limit = 16777216.0;

JSValueRef boolean(JSContextRef ctx, bool value)
{
    return JSValueMakeBoolean(ctx, value);
}

} // namespace

const script_native script_natives[6] = {
    {"print", native_print},
    {"clearScreen", native_clear_screen},
    {"getTime", native_get_time},
    {"getGeometry", native_get_geometry},
    {"setGeometry", native_set_geometry},
    {nullptr, nullptr},
};

JSValueRef native_print(JSContextRef ctx, JSObjectRef, JSObjectRef, size_t argc, const JSValueRef argv[],
                        JSValueRef*)
{
    if (argc == 0)
        return JSValueMakeUndefined(ctx);
    // Only a string has text here: other values print an empty line rather
    // than their conversion.
    std::string text;
    if (JSValueIsString(ctx, argv[0]))
        text = script_text_of_value(ctx, argv[0]);
    std::printf("Scripting Engine: %s\n", text.c_str());
    std::fflush(stdout); // as every console line: a piped log must not lag behind an error box
    return JSValueMakeUndefined(ctx);
}

JSValueRef native_clear_screen(JSContextRef ctx, JSObjectRef, JSObjectRef, size_t, const JSValueRef[],
                               JSValueRef*)
{
    // Configuration scripts run before the window exists: no context, no clear.
    if (glfwGetCurrentContext()) {
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    return JSValueMakeUndefined(ctx);
}

JSValueRef native_get_time(JSContextRef ctx, JSObjectRef, JSObjectRef, size_t, const JSValueRef[],
                           JSValueRef*)
{
    return JSValueMakeNumber(ctx, script_shared_state.time);
}

JSValueRef native_get_geometry(JSContextRef ctx, JSObjectRef, JSObjectRef, size_t, const JSValueRef[],
                               JSValueRef* exception)
{
    // Only the engine's own failures (out of memory, stack exhaustion) throw
    // here; they fail the calling script like any other error.
    JSValueRef geometry = script_geometry_exchange::make_geometry(ctx, script_shared_state.vertices,
                                                                  script_shared_state.elements, exception);
    return geometry ? geometry : JSValueMakeUndefined(ctx);
}

JSValueRef native_set_geometry(JSContextRef ctx, JSObjectRef, JSObjectRef, size_t argc,
                               const JSValueRef argv[], JSValueRef* exception)
{
    if (argc == 0) {
        script_shared_state.geometry_changed = true;
        return boolean(ctx, true);
    }
    if (!JSValueIsObject(ctx, argv[0]))
        return boolean(ctx, false);
    script_geometry_source source;
    if (!script_geometry_exchange::find_source(ctx, JSValueToObject(ctx, argv[0], nullptr), source, exception))
        return boolean(ctx, false);
    if (source.vertex_count > geometry_entry_limit || source.element_count > geometry_entry_limit)
        return boolean(ctx, false);
    if (!script_geometry_exchange::read_vertices(ctx, source, script_shared_state.vertices, exception))
        return boolean(ctx, false);
    // From here on a rejected "elements" leaves the new vertices in place.
    if (source.element_count < 0)
        return boolean(ctx, false);
    if (!script_geometry_exchange::read_elements(ctx, source, geometry_entry_limit,
                                                 script_shared_state.elements, exception))
        return boolean(ctx, false);
    script_shared_state.geometry_changed = true;
    return boolean(ctx, true);
}
