// script_geometry_exchange: the engine-side halves of "getGeometry" and
// "setGeometry": small functions compiled once per engine start, kept out of
// the global scope, that read and write the native vectors through typed
// array views instead of one C API call per property. Depends on JavaScriptCore.
#pragma once

#include <JavaScriptCore/JavaScript.h>
#include <cstdint>
#include <vector>

// What "setGeometry" found on its argument before changing anything.
struct script_geometry_source {
    JSValueRef vertices = nullptr;  // the argument's "vertices", an array
    JSValueRef elements = nullptr;  // the argument's "elements", any value
    double vertex_count = 0;        // length of vertices
    double element_count = -1;      // length of elements; -1 when it is not an array
};

class script_geometry_exchange {
public:
    // Compiles the helpers into ctx and keeps them alive; false on failure.
    static bool install(JSGlobalContextRef ctx);
    static void uninstall(JSGlobalContextRef ctx);

    // A new object {vertices, elements}: one vertex object ("x" to "v" in
    // order) per eight floats and one number per element, all own data
    // properties, so no prototype a script changed takes part. Null, with
    // exception set, only on the engine's own failures (out of memory).
    static JSValueRef make_geometry(JSContextRef ctx, const std::vector<float>& vertices,
                                    const std::vector<uint32_t>& elements, JSValueRef* exception);
    // Checks that geometry owns "vertices" and "elements" (any key kind,
    // enumerable or not), reads both (getters run) and requires "vertices"
    // to be an array. False, with source untouched, otherwise.
    static bool find_source(JSContextRef ctx, JSObjectRef geometry, script_geometry_source& source,
                            JSValueRef* exception);
    // Replaces out with source.vertex_count vertices read from the entries,
    // eight floats each; every component that is not a number reads as 0.
    // out is untouched when this fails, and is assigned only after the last
    // getter ran, so a getter may itself exchange geometry.
    static bool read_vertices(JSContextRef ctx, const script_geometry_source& source,
                              std::vector<float>& out, JSValueRef* exception);
    // Reads the entries of source.elements (its length read anew) into out:
    // the low 32 bits of each number truncated to 64 bits, 0 for anything
    // else. False, with out untouched, when the length is above limit.
    static bool read_elements(JSContextRef ctx, const script_geometry_source& source, double limit,
                              std::vector<uint32_t>& out, JSValueRef* exception);
};
